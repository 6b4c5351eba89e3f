// Seeds a case's registries and checks the local registry after the last step.
//
// Seeding goes through the store administration (it needs no handles and
// ignores grants, so a key can be seeded and then locked). Checking reads the
// way a client does, through the registry functions with ANSI names, so it
// sees exactly the type and bytes an ANSI read returns; a key whose grant
// refuses reading is unlocked first, which is harmless because the case is
// over.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_REGISTRY_FIXTURE_H_
#define KEYSTREL_TOOLS_CONFORMANCE_REGISTRY_FIXTURE_H_

#include <optional>
#include <string>

#include "tools/conformance/registry_check.h"
#include "tools/conformance/vector.h"

namespace keystrel::conformance {

// `computer` empty: the local store.
std::optional<RegistryFault> SeedRegistry(std::u16string_view computer, const RegistrySpec& spec);

// Every listed key and value as listed (see the vectors' "Checking the
// registry"); the first difference.
std::optional<RegistryFault> CheckRegistry(const RegistrySpec& spec);

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_REGISTRY_FIXTURE_H_
