// Reading a REGISTRY (a seed or registry_after) from a vector: key paths,
// DATA as the type and bytes an ANSI read returns, grants, @exact and null.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_REGISTRY_READING_H_
#define KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_REGISTRY_READING_H_

#include <string>

#include "tools/conformance/internal/json_reading.h"
#include "tools/conformance/vector.h"

namespace keystrel::conformance::detail {

// `after`: registry_after, where null and @exact are allowed.
RegistrySpec ParseRegistry(const Json& j, const std::string& pointer, bool after);

}  // namespace keystrel::conformance::detail

#endif  // KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_REGISTRY_READING_H_
