// Reading helpers shared by the vector reader: typed access to JSON members
// that fails with the JSON pointer of the offending element.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_JSON_READING_H_
#define KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_JSON_READING_H_

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace keystrel::conformance::detail {

using Json = nlohmann::ordered_json;

// Thrown while reading; ParseVectorText turns it into a VectorError.
struct FormatFault {
  std::string pointer;
  std::string message;
};

[[noreturn]] void Fail(const std::string& pointer, std::string message);

// JSON pointers of a member or an element.
std::string Child(const std::string& pointer, std::string_view key);
std::string Child(const std::string& pointer, std::size_t index);

std::string Dump(const Json& j);
std::string Quote(std::string_view s);

std::optional<std::int64_t> AsInteger(const Json& j);
// Each fails (FormatFault) when `j` is not what it asks for.
std::int64_t IntegerIn(const Json& j, const std::string& pointer, std::int64_t lo, std::int64_t hi,
                       const char* what);
const std::string& Text(const Json& j, const std::string& pointer, const char* what);
const std::string& Name(const Json& j, const std::string& pointer, const char* what);  // non-empty
void RequireTrue(const Json& j, const std::string& pointer, std::string_view form);
const Json& Object(const Json& j, const std::string& pointer, const char* what);
const Json& List(const Json& j, const std::string& pointer, const char* what);
// Every member of `j` is one of `ok`.
void OnlyMembers(const Json& j, const std::string& pointer, std::initializer_list<const char*> ok,
                 std::string_view what);

}  // namespace keystrel::conformance::detail

#endif  // KEYSTREL_TOOLS_CONFORMANCE_INTERNAL_JSON_READING_H_
