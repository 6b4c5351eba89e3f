#include "com/harness/registry_seed.h"

#include <windows.h>
#include <aclapi.h>

#include <cstdint>
#include <string>
#include <vector>


namespace keystrel::harness {
namespace {

using conformance::KeyWhat;
using conformance::RegKeySpec;
using conformance::RegValueSpec;
using conformance::ResultText;
using conformance::ValueWhat;

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

// The system's registry: keys opened through the Unicode functions (names
// are UTF-16 there), values read through the ANSI ones, grants as DACLs.
class SystemReader final : public conformance::RegistryReader {
 public:
  ~SystemReader() override { Close(); }

  std::optional<std::uint32_t> Grant(const UString& path) override { return GrantOf(Split(path)); }

  std::int32_t Open(const UString& path) override {
    const KeyPath split = Split(path);
    HKEY h = nullptr;
    const LONG rc = RegOpenKeyExW(split.root, split.sub.c_str(), 0, KEY_READ, &h);
    if (rc == 0) key_ = h;
    return rc;
  }

  void Unlock(const UString& path) override { SetGrant(Split(path), kGrantAll); }

  void Close() override {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }

  std::int32_t Query(const std::string& name, std::uint32_t* type, std::uint8_t* data,
                     std::uint32_t* size) override {
    DWORD t = 0, n = *size;
    const LONG rc = RegQueryValueExA(key_, name.c_str(), nullptr, &t, data, &n);
    *type = t;
    *size = n;
    return rc;
  }

  std::int32_t ValueName(std::uint32_t index, char* name, std::uint32_t* length) override {
    DWORD len = *length;
    const LONG rc = RegEnumValueA(key_, index, name, &len, nullptr, nullptr, nullptr, nullptr);
    *length = len;
    return rc;
  }

 private:
  HKEY key_ = nullptr;
};

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
      return RegistryFault{key.pointer, KeyWhat(key), "the key seeded",
                           "create gave " + ResultText(rc)};
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
                             "write gave " + ResultText(rc)};
      }
    }
  }
  for (const RegKeySpec& key : spec) {
    if (!key.grant) continue;
    if (LONG rc = SetGrant(Split(key.path), *key.grant); rc != 0) {
      return RegistryFault{key.pointer, KeyWhat(key), "the grant seeded",
                           "grant gave " + ResultText(rc)};
    }
  }
  return std::nullopt;
}

std::optional<RegistryFault> CheckRegistry(const RegistrySpec& spec) {
  SystemReader reader;
  return conformance::CheckRegistryWith(reader, spec);
}

}  // namespace keystrel::harness
