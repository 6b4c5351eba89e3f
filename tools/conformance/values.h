// Comparing and showing automation values the way vectors do.
//
// SameValue is the vectors' equality: same subtype and same value (a long 5 is
// not an integer 5, strings compare exactly with case and NULs, arrays by
// element type, bounds and items, objects by identity, decimals by numeric
// value). ValueJson writes a value in the vectors' own VALUE notation, so a
// failure message shows the actual value as it would be written in a file.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_VALUES_H_
#define KEYSTREL_TOOLS_CONFORMANCE_VALUES_H_

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "frame/object.h"
#include "frame/variant.h"

namespace keystrel::conformance {

bool SameValue(const Variant& a, const Variant& b);

// Names an object the case holds ("" when it holds none under a name).
using ObjectNamer = std::function<std::string(const Object*)>;

// {"long": 5} is written 5, a string as a JSON string, a double as a JSON
// number with a point; objects as {"objectof": "clsX", "obj": "name"}.
nlohmann::ordered_json ValueJson(const Variant& value, const ObjectNamer& namer = {});
std::string RenderValue(const Variant& value, const ObjectNamer& namer = {});

// The JSON text of `j` on one line, bad UTF-8 replaced.
std::string DumpJson(const nlohmann::ordered_json& j);

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_VALUES_H_
