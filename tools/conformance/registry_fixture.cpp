#include "tools/conformance/registry_fixture.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/admin.h"
#include "platform/ansi.h"
#include "platform/registry.h"
#include "tools/conformance/value_text.h"
#include "tools/conformance/values.h"

namespace keystrel::conformance {
namespace {

namespace p = platform;
using Json = nlohmann::ordered_json;

constexpr std::uint32_t kGrantAll = 0xF003F;

struct RootName {
  const char16_t* name;
  p::HKEY key;
};

p::HKEY RootOf(UStringView root) {
  const RootName roots[] = {
      {u"HKEY_CLASSES_ROOT", p::HKEY_CLASSES_ROOT},
      {u"HKCR", p::HKEY_CLASSES_ROOT},
      {u"HKEY_CURRENT_USER", p::HKEY_CURRENT_USER},
      {u"HKCU", p::HKEY_CURRENT_USER},
      {u"HKEY_LOCAL_MACHINE", p::HKEY_LOCAL_MACHINE},
      {u"HKLM", p::HKEY_LOCAL_MACHINE},
      {u"HKEY_USERS", p::HKEY_USERS},
      {u"HKU", p::HKEY_USERS},
      {u"HKEY_CURRENT_CONFIG", p::HKEY_CURRENT_CONFIG},
      {u"HKCC", p::HKEY_CURRENT_CONFIG},
  };
  for (const RootName& r : roots) {
    if (TextEquals(root, r.name)) return r.key;
  }
  return nullptr;  // the reader admits no other root
}

// Closes a key handle when the check is done with it.
class KeyCloser {
 public:
  explicit KeyCloser(p::HKEY key) : key_(key) {}
  ~KeyCloser() {
    if (key_) p::RegCloseKey(key_);
  }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  p::HKEY key_;
};

std::string Quote(const UString& s) { return DumpJson(Json(UToUtf8(s))); }

std::string KeyWhat(const RegKeySpec& key) { return "key " + key.label; }
std::string ValueWhat(const RegKeySpec& key, const RegValueSpec& v) {
  return "key " + key.label + " value " + Quote(v.name);
}

std::string Result(std::int32_t rc) { return "result " + std::to_string(rc); }

// Shows stored data in the vectors' DATA notation, the most readable exact form.
std::string RenderData(std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
  auto text = [&](std::size_t from, std::size_t to) {
    return UToUtf8(p::FromAnsi(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(from),
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

// Reads a value as an ANSI client does; false with `*rc` when it cannot.
bool ReadValue(p::HKEY key, const UString& name, std::uint32_t* type,
               std::vector<std::uint8_t>* bytes, std::int32_t* rc) {
  const std::string ansi = p::ToAnsi(name);
  p::DWORD t = 0, size = 0;
  *rc = p::RegQueryValueExA(key, ansi.c_str(), nullptr, &t, nullptr, &size);
  for (int attempt = 0; *rc == 0 && attempt < 4; ++attempt) {
    bytes->assign(size, 0);
    p::DWORD got = size;
    *rc = p::RegQueryValueExA(key, ansi.c_str(), nullptr, &t, bytes->data(), &got);
    if (*rc == p::ERROR_MORE_DATA) {  // changed meanwhile: ask again
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

std::optional<RegistryFault> CheckExact(p::HKEY h, const RegKeySpec& key) {
  std::vector<char> name(16384);
  for (p::DWORD index = 0;; ++index) {
    p::DWORD len = static_cast<p::DWORD>(name.size());
    std::int32_t rc =
        p::RegEnumValueA(h, index, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == p::ERROR_NO_MORE_ITEMS) return std::nullopt;
    if (rc != 0) {
      return RegistryFault{key.pointer, KeyWhat(key), "its values listed",
                           "listing failed with " + Result(rc)};
    }
    UString actual = p::FromAnsi(std::string_view(name.data(), len));
    bool listed = false;
    for (const RegValueSpec& v : key.values) {
      listed = listed || (!v.is_null && TextEquals(p::FromAnsi(p::ToAnsi(v.name)), actual));
    }
    if (!listed) {
      return RegistryFault{key.pointer, KeyWhat(key), "only the listed values (@exact)",
                           "also value " + Quote(actual)};
    }
  }
}

std::optional<RegistryFault> CheckValue(p::HKEY h, const RegKeySpec& key, const RegValueSpec& v) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  std::int32_t rc = 0;
  const bool present = ReadValue(h, v.name, &type, &bytes, &rc);
  if (!present && rc != p::ERROR_FILE_NOT_FOUND) {
    return RegistryFault{v.pointer, ValueWhat(key, v), v.text, "cannot read: " + Result(rc)};
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

std::optional<RegistryFault> CheckKey(const RegKeySpec& key) {
  const std::size_t slash = key.path.find(u'\\');
  const p::HKEY root = RootOf(UStringView(key.path).substr(0, slash));
  const std::string sub =
      slash == UString::npos ? std::string() : p::ToAnsi(UStringView(key.path).substr(slash + 1));
  if (key.grant) {
    std::uint32_t grant = 0;
    std::int32_t rc = p::AdminGetGrant(u"", key.path, &grant);
    if (rc == 0 && grant != *key.grant) {
      return RegistryFault{key.pointer, KeyWhat(key), "@grant " + std::to_string(*key.grant),
                           "@grant " + std::to_string(grant)};
    }
  }
  p::HKEY h = nullptr;
  std::int32_t rc = p::RegOpenKeyExA(root, sub.c_str(), 0, p::KEY_READ, &h);
  if (rc == p::ERROR_ACCESS_DENIED) {
    p::AdminSetGrant(u"", key.path, kGrantAll);
    rc = p::RegOpenKeyExA(root, sub.c_str(), 0, p::KEY_READ, &h);
  }
  KeyCloser closer(rc == 0 ? h : nullptr);
  if (key.is_null) {
    if (rc == p::ERROR_FILE_NOT_FOUND) return std::nullopt;
    return RegistryFault{key.pointer, KeyWhat(key), "no such key",
                         rc == 0 ? "the key exists" : "open gave " + Result(rc)};
  }
  if (rc != 0) {
    return RegistryFault{key.pointer, KeyWhat(key), "the key",
                         rc == p::ERROR_FILE_NOT_FOUND ? "no such key" : "open gave " + Result(rc)};
  }
  for (const RegValueSpec& v : key.values) {
    if (std::optional<RegistryFault> f = CheckValue(h, key, v)) return f;
  }
  if (key.exact) return CheckExact(h, key);
  return std::nullopt;
}

}  // namespace

std::optional<RegistryFault> SeedRegistry(std::u16string_view computer, const RegistrySpec& spec) {
  for (const RegKeySpec& key : spec) {
    if (key.path.find(u'\\') != UString::npos) {
      if (std::int32_t rc = p::AdminCreateKey(computer, key.path); rc != 0) {
        return RegistryFault{key.pointer, KeyWhat(key), "the key seeded",
                             "create gave " + Result(rc)};
      }
    }
    for (const RegValueSpec& v : key.values) {
      if (std::int32_t rc = p::AdminSetValue(computer, key.path, v.name, v.type, v.bytes);
          rc != 0) {
        return RegistryFault{v.pointer, ValueWhat(key, v), "the value seeded",
                             "write gave " + Result(rc)};
      }
    }
    if (key.grant) {
      if (std::int32_t rc = p::AdminSetGrant(computer, key.path, *key.grant); rc != 0) {
        return RegistryFault{key.pointer, KeyWhat(key), "the grant seeded",
                             "grant gave " + Result(rc)};
      }
    }
  }
  return std::nullopt;
}

std::optional<RegistryFault> CheckRegistry(const RegistrySpec& spec) {
  for (const RegKeySpec& key : spec) {
    if (std::optional<RegistryFault> f = CheckKey(key)) return f;
  }
  return std::nullopt;
}

}  // namespace keystrel::conformance
