// Reading a VALUE, an ARG or an expected pattern from a vector.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_VALUE_READING_H_
#define KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_VALUE_READING_H_

#include <string>
#include <vector>

#include "tools/conformance/internal/json_reading.h"
#include "tools/conformance/vector.h"

namespace keystrel::conformance::detail {

enum class ValueContext {
  kInput,     // a VALUE given to the library
  kArg,       // an ARG: a VALUE, {"var": x} or {"omit": true}
  kExpected,  // an expected result or log argument: also objectof / any
};

ValueSpec ParseValue(const Json& j, const std::string& pointer, ValueContext ctx);
std::vector<ValueSpec> ParseValueList(const Json& j, const std::string& pointer, ValueContext ctx,
                                      const char* what);

}  // namespace keystrel::conformance::detail

#endif  // KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_VALUE_READING_H_
