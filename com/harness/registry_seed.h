// A case's registry on the real registry API: seeding (values as the exact
// type and bytes an ANSI read returns, grants as real security descriptors)
// and the check after the last step.
//
// Seeding goes through the Unicode functions, as the registry stores names
// and strings in UTF-16: names that differ there but meet in the ANSI code
// page stay distinct values, and string data is the UTF-16 text an ANSI read
// turns back into exactly the listed bytes. The check reads through the ANSI
// functions, since that is what the listed bytes describe.
//
// A grant is a protected DACL with one entry: Everyone is allowed exactly the
// granted rights, so opening with more is refused with 5 as the system does
// it. Grants are set after every key of the seed exists, so a locked key's
// children can still be seeded.
#ifndef KEYSTREL_COM_HARNESS_REGISTRY_SEED_H_
#define KEYSTREL_COM_HARNESS_REGISTRY_SEED_H_

#include <optional>

#include "tools/conformance/registry_check.h"
#include "tools/conformance/vector.h"

namespace keystrel::harness {

using conformance::RegistryFault;
using conformance::RegistrySpec;

std::optional<RegistryFault> SeedRegistry(const RegistrySpec& spec);

// Every listed key and value as listed; the first difference. A key whose
// grant refuses reading is given full access first (the case is over).
std::optional<RegistryFault> CheckRegistry(const RegistrySpec& spec);

}  // namespace keystrel::harness

#endif  // KEYSTREL_COM_HARNESS_REGISTRY_SEED_H_
