#include "tools/conformance/registry_check.h"

#include <nlohmann/json.hpp>

#include "platform/ansi.h"
#include "tools/conformance/value_text.h"
#include "tools/conformance/values.h"

namespace keystrel::conformance {
namespace {

using Json = nlohmann::ordered_json;

// The registry's own codes, the same on every system it answers for.
constexpr std::int32_t kFileNotFound = 2;
constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kMoreData = 234;
constexpr std::int32_t kNoMoreItems = 259;

std::string Quote(const UString& s) { return DumpJson(Json(UToUtf8(s))); }

// Closes the reader's key when the check is done with it.
class KeyCloser {
 public:
  KeyCloser(RegistryReader& reader, bool open) : reader_(reader), open_(open) {}
  ~KeyCloser() {
    if (open_) reader_.Close();
  }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  RegistryReader& reader_;
  bool open_;
};

// Reads a value as an ANSI client does; false with `*rc` when it cannot.
bool ReadValue(RegistryReader& reader, const UString& name, std::uint32_t* type,
               std::vector<std::uint8_t>* bytes, std::int32_t* rc) {
  const std::string ansi = platform::ToAnsi(name);
  std::uint32_t t = 0, size = 0;
  *rc = reader.Query(ansi, &t, nullptr, &size);
  for (int attempt = 0; *rc == 0 && attempt < 4; ++attempt) {
    bytes->assign(size, 0);
    std::uint32_t got = size;
    *rc = reader.Query(ansi, &t, bytes->data(), &got);
    if (*rc == kMoreData) {  // changed meanwhile: ask again
      size = got;
      *rc = 0;
      continue;
    }
    if (*rc == 0) {
      bytes->resize(got);
      *type = t;
      return true;
    }
  }
  return false;
}

std::optional<RegistryFault> CheckExact(RegistryReader& reader, const RegKeySpec& key) {
  std::vector<char> name(16384);
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t len = static_cast<std::uint32_t>(name.size());
    const std::int32_t rc = reader.ValueName(index, name.data(), &len);
    if (rc == kNoMoreItems) return std::nullopt;
    if (rc != 0) {
      return RegistryFault{key.pointer, KeyWhat(key), "its values listed",
                           "listing failed with " + ResultText(rc)};
    }
    const UString actual = platform::FromAnsi(std::string_view(name.data(), len));
    bool listed = false;
    for (const RegValueSpec& v : key.values) {
      listed = listed ||
               (!v.is_null && TextEquals(platform::FromAnsi(platform::ToAnsi(v.name)), actual));
    }
    if (!listed) {
      return RegistryFault{key.pointer, KeyWhat(key), "only the listed values (@exact)",
                           "also value " + Quote(actual)};
    }
  }
}

std::optional<RegistryFault> CheckValue(RegistryReader& reader, const RegKeySpec& key,
                                        const RegValueSpec& v) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  std::int32_t rc = 0;
  const bool present = ReadValue(reader, v.name, &type, &bytes, &rc);
  if (!present && rc != kFileNotFound) {
    return RegistryFault{v.pointer, ValueWhat(key, v), v.text, "cannot read: " + ResultText(rc)};
  }
  if (v.is_null) {
    if (!present) return std::nullopt;
    return RegistryFault{v.pointer, ValueWhat(key, v), "no such value", RenderData(type, bytes)};
  }
  if (!present) return RegistryFault{v.pointer, ValueWhat(key, v), v.text, "no such value"};
  if (type != v.type || bytes != v.bytes) {
    return RegistryFault{v.pointer, ValueWhat(key, v), v.text, RenderData(type, bytes)};
  }
  return std::nullopt;
}

std::optional<RegistryFault> CheckKey(RegistryReader& reader, const RegKeySpec& key) {
  if (key.grant) {
    if (std::optional<std::uint32_t> grant = reader.Grant(key.path);
        grant && *grant != *key.grant) {
      return RegistryFault{key.pointer, KeyWhat(key), "@grant " + std::to_string(*key.grant),
                           "@grant " + std::to_string(*grant)};
    }
  }
  std::int32_t rc = reader.Open(key.path);
  if (rc == kAccessDenied) {
    reader.Unlock(key.path);
    rc = reader.Open(key.path);
  }
  KeyCloser closer(reader, rc == 0);
  if (key.is_null) {
    if (rc == kFileNotFound) return std::nullopt;
    return RegistryFault{key.pointer, KeyWhat(key), "no such key",
                         rc == 0 ? "the key exists" : "open gave " + ResultText(rc)};
  }
  if (rc != 0) {
    return RegistryFault{key.pointer, KeyWhat(key), "the key",
                         rc == kFileNotFound ? "no such key" : "open gave " + ResultText(rc)};
  }
  for (const RegValueSpec& v : key.values) {
    if (std::optional<RegistryFault> f = CheckValue(reader, key, v)) return f;
  }
  if (key.exact) return CheckExact(reader, key);
  return std::nullopt;
}

}  // namespace

std::string KeyWhat(const RegKeySpec& key) { return "key " + key.label; }

std::string ValueWhat(const RegKeySpec& key, const RegValueSpec& v) {
  return "key " + key.label + " value " + Quote(v.name);
}

std::string ResultText(std::int32_t rc) { return "result " + std::to_string(rc); }

std::string RenderData(std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
  auto text = [&](std::size_t from, std::size_t to) {
    return UToUtf8(
        platform::FromAnsi(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(to))));
  };
  auto nul_at = [&](std::size_t from) {
    for (std::size_t i = from; i < bytes.size(); ++i) {
      if (bytes[i] == 0) return i;
    }
    return bytes.size();
  };
  if ((type == 1 || type == 2) && !bytes.empty() && nul_at(0) == bytes.size() - 1) {
    return DumpJson(Json{{type == 1 ? "sz" : "expand_sz", text(0, bytes.size() - 1)}});
  }
  if (type == 4 && bytes.size() == 4) {
    std::uint32_t d = 0;
    for (int i = 3; i >= 0; --i) d = d << 8 | bytes[static_cast<std::size_t>(i)];
    return DumpJson(Json{{"dword", d}});
  }
  if (type == 3) return DumpJson(Json{{"binary", FormatHexBytes(bytes)}});
  if (type == 7 && bytes.size() >= 2 && bytes[bytes.size() - 1] == 0 &&
      bytes[bytes.size() - 2] == 0) {
    Json items = Json::array();
    std::size_t end = bytes.size() - 1;                        // the closing NUL
    if (end == 1) return DumpJson(Json{{"multi_sz", items}});  // two NULs: the empty list
    for (std::size_t i = 0; i < end;) {
      std::size_t nul = nul_at(i);
      items.push_back(text(i, nul));
      i = nul + 1;
    }
    return DumpJson(Json{{"multi_sz", items}});
  }
  return DumpJson(Json{{"type", type}, {"hex", FormatHexBytes(bytes)}});
}

std::optional<RegistryFault> CheckRegistryWith(RegistryReader& reader, const RegistrySpec& spec) {
  for (const RegKeySpec& key : spec) {
    if (std::optional<RegistryFault> f = CheckKey(reader, key)) return f;
  }
  return std::nullopt;
}

}  // namespace keystrel::conformance
