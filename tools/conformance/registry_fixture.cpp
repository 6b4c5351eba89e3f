#include "tools/conformance/registry_fixture.h"

#include <cstdint>
#include <vector>

#include "platform/admin.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel::conformance {
namespace {

namespace p = platform;

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

// The local store through the library's own ANSI functions, as a client reads
// it; grants through the store administration.
class StoreReader final : public RegistryReader {
 public:
  ~StoreReader() override { Close(); }

  std::optional<std::uint32_t> Grant(const UString& path) override {
    std::uint32_t grant = 0;
    if (p::AdminGetGrant(u"", path, &grant) != 0) return std::nullopt;
    return grant;
  }

  std::int32_t Open(const UString& path) override {
    const std::size_t slash = path.find(u'\\');
    const p::HKEY root = RootOf(UStringView(path).substr(0, slash));
    const std::string sub =
        slash == UString::npos ? std::string() : p::ToAnsi(UStringView(path).substr(slash + 1));
    p::HKEY h = nullptr;
    const std::int32_t rc = p::RegOpenKeyExA(root, sub.c_str(), 0, p::KEY_READ, &h);
    if (rc == 0) key_ = h;
    return rc;
  }

  void Unlock(const UString& path) override { p::AdminSetGrant(u"", path, kGrantAll); }

  void Close() override {
    if (key_) p::RegCloseKey(key_);
    key_ = nullptr;
  }

  std::int32_t Query(const std::string& name, std::uint32_t* type, std::uint8_t* data,
                     std::uint32_t* size) override {
    p::DWORD t = 0, n = *size;
    const std::int32_t rc = p::RegQueryValueExA(key_, name.c_str(), nullptr, &t, data, &n);
    *type = t;
    *size = n;
    return rc;
  }

  std::int32_t ValueName(std::uint32_t index, char* name, std::uint32_t* length) override {
    p::DWORD len = *length;
    const std::int32_t rc =
        p::RegEnumValueA(key_, index, name, &len, nullptr, nullptr, nullptr, nullptr);
    *length = len;
    return rc;
  }

 private:
  p::HKEY key_ = nullptr;
};

}  // namespace

std::optional<RegistryFault> SeedRegistry(std::u16string_view computer, const RegistrySpec& spec) {
  for (const RegKeySpec& key : spec) {
    if (key.path.find(u'\\') != UString::npos) {
      if (std::int32_t rc = p::AdminCreateKey(computer, key.path); rc != 0) {
        return RegistryFault{key.pointer, KeyWhat(key), "the key seeded",
                             "create gave " + ResultText(rc)};
      }
    }
    for (const RegValueSpec& v : key.values) {
      if (std::int32_t rc = p::AdminSetValue(computer, key.path, v.name, v.type, v.bytes);
          rc != 0) {
        return RegistryFault{v.pointer, ValueWhat(key, v), "the value seeded",
                             "write gave " + ResultText(rc)};
      }
    }
    if (key.grant) {
      if (std::int32_t rc = p::AdminSetGrant(computer, key.path, *key.grant); rc != 0) {
        return RegistryFault{key.pointer, KeyWhat(key), "the grant seeded",
                             "grant gave " + ResultText(rc)};
      }
    }
  }
  return std::nullopt;
}

std::optional<RegistryFault> CheckRegistry(const RegistrySpec& spec) {
  StoreReader reader;
  return CheckRegistryWith(reader, spec);
}

}  // namespace keystrel::conformance
