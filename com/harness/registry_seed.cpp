#include "com/harness/registry_seed.h"

#include <windows.h>
#include <aclapi.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/ansi.h"
#include "tools/conformance/value_text.h"
#include "tools/conformance/values.h"

namespace keystrel::harness {
namespace {

using conformance::DumpJson;
using conformance::FormatHexBytes;
using conformance::RegKeySpec;
using conformance::RegValueSpec;
using Json = nlohmann::ordered_json;

constexpr std::uint32_t kGrantAll = 0xF003F;

HKEY RootOf(UStringView root) {
  const struct {
    const char16_t* name;
    HKEY key;
  } roots[] = {
      {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {u"HKCR", HKEY_CLASSES_ROOT},
      {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER}, {u"HKCU", HKEY_CURRENT_USER},
      {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {u"HKLM", HKEY_LOCAL_MACHINE},
      {u"HKEY_USERS", HKEY_USERS}, {u"HKU", HKEY_USERS},
      {u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}, {u"HKCC", HKEY_CURRENT_CONFIG},
  };
  for (const auto& r : roots) {
    if (TextEquals(root, r.name)) return r.key;
  }
  return nullptr;  // the reader admits no other root
}

struct KeyPath {
  HKEY root;
  std::wstring sub;  // "" for the root itself
};

KeyPath Split(const UString& path) {
  const std::size_t slash = path.find(u'\\');
  KeyPath out{RootOf(UStringView(path).substr(0, slash)), {}};
  if (slash != UString::npos) {
    UStringView rest = UStringView(path).substr(slash + 1);
    out.sub.assign(reinterpret_cast<const wchar_t*>(rest.data()), rest.size());
  }
  return out;
}

class KeyCloser {
 public:
  explicit KeyCloser(HKEY key) : key_(key) {}
  ~KeyCloser() {
    if (key_) RegCloseKey(key_);
  }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  HKEY key_;
};

std::string Quote(const UString& s) { return DumpJson(Json(UToUtf8(s))); }
std::string KeyWhat(const RegKeySpec& key) { return "key " + key.label; }
std::string ValueWhat(const RegKeySpec& key, const RegValueSpec& v) {
  return "key " + key.label + " value " + Quote(v.name);
}
std::string Result(LONG rc) { return "result " + std::to_string(rc); }

// Stored data in the vectors' DATA notation.
std::string RenderData(std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
  auto text = [&](std::size_t from, std::size_t to) {
    return UToUtf8(platform::FromAnsi(std::string(
        bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to))));
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
    const std::size_t end = bytes.size() - 1;
    if (end == 1) return DumpJson(Json{{"multi_sz", items}});
    for (std::size_t i = 0; i < end;) {
      const std::size_t nul = nul_at(i);
      items.push_back(text(i, nul));
      i = nul + 1;
    }
    return DumpJson(Json{{"multi_sz", items}});
  }
  return DumpJson(Json{{"type", type}, {"hex", FormatHexBytes(bytes)}});
}

bool ReadValue(HKEY key, const UString& name, std::uint32_t* type,
               std::vector<std::uint8_t>* bytes, LONG* rc) {
  const std::string ansi = platform::ToAnsi(name);
  DWORD t = 0, size = 0;
  *rc = RegQueryValueExA(key, ansi.c_str(), nullptr, &t, nullptr, &size);
  for (int attempt = 0; *rc == 0 && attempt < 4; ++attempt) {
    bytes->assign(size, 0);
    DWORD got = size;
    *rc = RegQueryValueExA(key, ansi.c_str(), nullptr, &t, bytes->data(), &got);
    if (*rc == ERROR_MORE_DATA) {  // changed meanwhile: ask again
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

bool IsStringType(std::uint32_t type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A value's data as RegSetValueExW takes it, so that an ANSI read returns
// `v.bytes` exactly. The registry keeps strings as UTF-16: they are converted
// from the ANSI code page with their exact length, nothing added. `size` is
// what the registry is told; the buffer may hold more (see below).
struct StoredData {
  std::vector<std::uint8_t> bytes;
  DWORD size = 0;
};

std::optional<StoredData> StoredBytes(const RegValueSpec& v) {
  StoredData out{v.bytes, static_cast<DWORD>(v.bytes.size())};
  if (!IsStringType(v.type) || v.bytes.empty()) return out;
  const char* ansi = reinterpret_cast<const char*>(v.bytes.data());
  const int ansi_len = static_cast<int>(v.bytes.size());
  const int wide_len = MultiByteToWideChar(CP_ACP, 0, ansi, ansi_len, nullptr, 0);
  if (wide_len <= 0) return std::nullopt;
  // One more character than the text: the system adds a NUL to a string
  // whose size leaves its NUL out when the character after the size is one
  // (NT does so, and Wine after it). A character that is not NUL there keeps
  // a text without its NUL as it is.
  std::vector<wchar_t> wide(static_cast<std::size_t>(wide_len) + 1, L'?');
  if (MultiByteToWideChar(CP_ACP, 0, ansi, ansi_len, wide.data(), wide_len) != wide_len) {
    return std::nullopt;
  }
  const auto* first = reinterpret_cast<const std::uint8_t*>(wide.data());
  out.bytes.assign(first, first + wide.size() * sizeof(wchar_t));
  out.size = static_cast<DWORD>(wide_len * sizeof(wchar_t));
  return out;
}

// The grant as a DACL: Everyone allowed exactly `rights`, nothing inherited.
LONG SetGrant(const KeyPath& path, std::uint32_t rights) {
  HKEY key = nullptr;
  // The owner may always change the DACL, whatever the key grants now.
  LONG rc = RegOpenKeyExW(path.root, path.sub.c_str(), 0, WRITE_DAC, &key);
  if (rc != 0) return rc;
  KeyCloser closer(key);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
    return static_cast<LONG>(GetLastError());
  }
  const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(everyone);
  std::vector<unsigned char> acl_bytes(acl_size);
  auto* acl = reinterpret_cast<ACL*>(acl_bytes.data());
  InitializeAcl(acl, acl_size, ACL_REVISION);
  if (rights != 0) AddAccessAllowedAce(acl, ACL_REVISION, rights, everyone);
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
  SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
  FreeSid(everyone);
  return rc;
}

// Everyone's rights on the key as a grant: a DACL of one Everyone entry is
// a grant; any other DACL (the system's default) grants everything.
std::optional<std::uint32_t> GrantOf(const KeyPath& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(path.root, path.sub.c_str(), 0, READ_CONTROL, &key) != 0) return std::nullopt;
  KeyCloser closer(key);
  DWORD size = 0;
  RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<unsigned char> sd(size ? size : 1);
  if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, sd.data(), &size) != 0) return std::nullopt;
  BOOL present = FALSE, defaulted = FALSE;
  ACL* acl = nullptr;
  if (!GetSecurityDescriptorDacl(sd.data(), &present, &acl, &defaulted)) return std::nullopt;
  if (!present || !acl) return kGrantAll;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  std::optional<std::uint32_t> grant = kGrantAll;
  if (acl->AceCount == 0) {
    grant = 0;
  } else if (acl->AceCount == 1) {
    void* ace = nullptr;
    if (GetAce(acl, 0, &ace)) {
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
          EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), everyone)) {
        grant = allowed->Mask;
      }
    }
  }
  FreeSid(everyone);
  return grant;
}

std::optional<RegistryFault> CheckExact(HKEY h, const RegKeySpec& key) {
  std::vector<char> name(16384);
  for (DWORD index = 0;; ++index) {
    DWORD len = static_cast<DWORD>(name.size());
    const LONG rc = RegEnumValueA(h, index, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return std::nullopt;
    if (rc != 0) {
      return RegistryFault{key.pointer, KeyWhat(key), "its values listed",
                           "listing failed with " + Result(rc)};
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

std::optional<RegistryFault> CheckValue(HKEY h, const RegKeySpec& key, const RegValueSpec& v) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  LONG rc = 0;
  const bool present = ReadValue(h, v.name, &type, &bytes, &rc);
  if (!present && rc != ERROR_FILE_NOT_FOUND) {
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
  const KeyPath path = Split(key.path);
  if (key.grant) {
    if (std::optional<std::uint32_t> grant = GrantOf(path); grant && *grant != *key.grant) {
      return RegistryFault{key.pointer, KeyWhat(key), "@grant " + std::to_string(*key.grant),
                           "@grant " + std::to_string(*grant)};
    }
  }
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_READ, &h);
  if (rc == ERROR_ACCESS_DENIED) {
    SetGrant(path, kGrantAll);
    rc = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_READ, &h);
  }
  KeyCloser closer(rc == 0 ? h : nullptr);
  if (key.is_null) {
    if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    return RegistryFault{key.pointer, KeyWhat(key), "no such key",
                         rc == 0 ? "the key exists" : "open gave " + Result(rc)};
  }
  if (rc != 0) {
    return RegistryFault{key.pointer, KeyWhat(key), "the key",
                         rc == ERROR_FILE_NOT_FOUND ? "no such key" : "open gave " + Result(rc)};
  }
  for (const RegValueSpec& v : key.values) {
    if (std::optional<RegistryFault> f = CheckValue(h, key, v)) return f;
  }
  if (key.exact) return CheckExact(h, key);
  return std::nullopt;
}

}  // namespace

std::optional<RegistryFault> SeedRegistry(const RegistrySpec& spec) {
  for (const RegKeySpec& key : spec) {
    const KeyPath path = Split(key.path);
    HKEY h = nullptr;
    LONG rc = RegCreateKeyExW(path.root, path.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &h, nullptr);
    if (rc == ERROR_ACCESS_DENIED && SetGrant(path, kGrantAll) == 0) {
      // Left locked by an earlier case in this process: the seed says what
      // the key is now.
      rc = RegCreateKeyExW(path.root, path.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                           nullptr);
    }
    if (rc != 0) {
      return RegistryFault{key.pointer, KeyWhat(key), "the key seeded", "create gave " + Result(rc)};
    }
    KeyCloser closer(h);
    for (const RegValueSpec& v : key.values) {
      const std::optional<StoredData> stored = StoredBytes(v);
      if (!stored) {
        return RegistryFault{v.pointer, ValueWhat(key, v), "the value seeded",
                             "its bytes do not convert from the ANSI code page"};
      }
      rc = RegSetValueExW(h, reinterpret_cast<const wchar_t*>(v.name.c_str()), 0, v.type,
                          stored->bytes.data(), stored->size);
      if (rc != 0) {
        return RegistryFault{v.pointer, ValueWhat(key, v), "the value seeded",
                             "write gave " + Result(rc)};
      }
    }
  }
  for (const RegKeySpec& key : spec) {
    if (!key.grant) continue;
    if (LONG rc = SetGrant(Split(key.path), *key.grant); rc != 0) {
      return RegistryFault{key.pointer, KeyWhat(key), "the grant seeded",
                           "grant gave " + Result(rc)};
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

}  // namespace keystrel::harness
