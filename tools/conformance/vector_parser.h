// Reads a conformance vector file (the JSON format of the vectors) into the
// model of vector.h, checking its whole shape before anything runs.
//
// The reader keeps JSON member order (value enumeration order is the file's
// order, and a step's first member names its action) and refuses what the
// format does not define: unknown members, duplicate members, wrong types,
// numbers outside their subtype's range, patterns where only values may
// stand. A fault is reported with the JSON pointer of the offending element.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_VECTOR_PARSER_H_
#define KEYSTREL_TOOLS_CONFORMANCE_VECTOR_PARSER_H_

#include <optional>
#include <string>
#include <string_view>

#include "tools/conformance/vector.h"

namespace keystrel::conformance {

struct VectorError {
  std::string pointer;  // JSON pointer of the fault ("" is the whole document)
  std::string message;
};

// The parsed file, or nullopt with `*error` filled in.
std::optional<VectorFile> ParseVectorText(std::string_view text, VectorError* error);

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_VECTOR_PARSER_H_
