#include "tools/conformance/internal/json_reading.h"

#include <limits>
#include <utility>

namespace keystrel::conformance::detail {

[[noreturn]] void Fail(const std::string& pointer, std::string message) {
  throw FormatFault{pointer, std::move(message)};
}

std::string Child(const std::string& pointer, std::string_view key) {
  std::string out = pointer + "/";
  for (char c : key) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Child(const std::string& pointer, std::size_t index) {
  return pointer + "/" + std::to_string(index);
}

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::optional<std::int64_t> AsInteger(const Json& j) {
  if (j.is_number_unsigned()) {
    std::uint64_t u = j.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(u);
  }
  if (j.is_number_integer()) return j.get<std::int64_t>();
  return std::nullopt;
}

std::int64_t IntegerIn(const Json& j, const std::string& pointer, std::int64_t lo, std::int64_t hi,
                       const char* what) {
  std::optional<std::int64_t> v = AsInteger(j);
  if (!v || *v < lo || *v > hi) {
    Fail(pointer, std::string(what) + " must be an integer from " + std::to_string(lo) + " to " +
                      std::to_string(hi) + ", not " + Dump(j));
  }
  return *v;
}

const std::string& Text(const Json& j, const std::string& pointer, const char* what) {
  if (!j.is_string()) Fail(pointer, std::string(what) + " must be a string, not " + Dump(j));
  return j.get_ref<const std::string&>();
}

const std::string& Name(const Json& j, const std::string& pointer, const char* what) {
  const std::string& s = Text(j, pointer, what);
  if (s.empty()) Fail(pointer, std::string(what) + " must not be empty");
  return s;
}

void RequireTrue(const Json& j, const std::string& pointer, std::string_view form) {
  if (!j.is_boolean() || !j.get<bool>()) {
    Fail(pointer, "{" + Quote(form) + ": ...} takes true only, not " + Dump(j));
  }
}

const Json& Object(const Json& j, const std::string& pointer, const char* what) {
  if (!j.is_object()) Fail(pointer, std::string(what) + " must be an object, not " + Dump(j));
  return j;
}

const Json& List(const Json& j, const std::string& pointer, const char* what) {
  if (!j.is_array()) Fail(pointer, std::string(what) + " must be a list, not " + Dump(j));
  return j;
}

void OnlyMembers(const Json& j, const std::string& pointer, std::initializer_list<const char*> ok,
                 std::string_view what) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool known = false;
    for (const char* k : ok) known = known || it.key() == k;
    if (!known) {
      Fail(Child(pointer, it.key()),
           "member " + Quote(it.key()) + " is not part of " + std::string(what));
    }
  }
}

}  // namespace keystrel::conformance::detail
