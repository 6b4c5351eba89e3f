// RegistryProvider: the one way to a registry store. The registry functions
// (registry.cpp) resolve handles, check arguments and convert text; a provider
// only keeps keys and values.
//
// Keys are named by KeyId, a number never reused within a store, so a handle
// to a deleted key can never reach a newer key of the same name. Names are
// UTF-16 and compared without regard to case (key_name.h); string data is
// stored as given (UTF-16 bytes), the provider never interprets value bytes.
//
// Every member returns kKeyDeleted for a key that no longer exists. Changing
// members are atomic: they change everything or nothing.
//
// Thread safety: implementations are safe to call from any thread.
#ifndef KEYSTREL_PLATFORM_PROVIDER_H_
#define KEYSTREL_PLATFORM_PROVIDER_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/access.h"
#include "platform/status.h"

namespace keystrel::platform {

using KeyId = std::int64_t;
using PathView = std::span<const std::u16string_view>;

// The predefined keys a store serves. HKEY_PERFORMANCE_DATA is not among
// them: no store serves performance data.
enum class PredefinedKey {
  kClassesRoot,    // view of HKLM\Software\Classes
  kCurrentUser,    // view of HKU\<user>
  kLocalMachine,
  kUsers,
  kCurrentConfig,  // view of HKLM\System\CurrentControlSet\Hardware Profiles\Current
  kDynData,
};

inline constexpr std::uint32_t kDefaultGrant = kAllKeyAccess;

// Ids below zero name the predefined keys; a store resolves them itself, so
// a call through a root costs no extra lookup (and a write through a view
// recreates the view's key if something removed it).
constexpr KeyId PredefinedKeyId(PredefinedKey root) { return -1 - static_cast<KeyId>(root); }

struct OpenedKey {
  KeyId id = 0;
  std::uint32_t granted = 0;  // the rights the opener holds
  bool created = false;       // CreateKey: something was created
};

struct ValueData {
  std::uint32_t type = 0;
  std::string data;
};

struct SubkeyEntry {
  std::u16string name;
  std::u16string class_name;
  std::uint64_t last_write = 0;  // FILETIME ticks
};

struct ValueEntry {
  std::u16string name;
  std::uint32_t type = 0;
  std::string data;
};

// Lengths in characters without NUL; max_value_len in stored bytes.
struct KeyInfo {
  std::u16string class_name;
  std::uint32_t subkeys = 0;
  std::uint32_t max_subkey_len = 0;
  std::uint32_t max_class_len = 0;
  std::uint32_t values = 0;
  std::uint32_t max_value_name_len = 0;
  std::uint32_t max_value_len = 0;
  std::uint64_t last_write = 0;
};

class RegistryProvider {
 public:
  virtual ~RegistryProvider() = default;

  // The key a predefined root stands for.
  virtual Result<KeyId> Predefined(PredefinedKey root) = 0;

  // Opens `path` below `base` (an empty path opens `base` itself) for the
  // rights asked. kNotFound when a component is missing; kAccessDenied when
  // the key's grant refuses the rights.
  virtual Result<OpenedKey> OpenKey(KeyId base, PathView path, const AccessRequest& access) = 0;

  // Opens or creates every missing level of `path` below `base`. New keys get
  // `class_name` and, when `is_volatile`, vanish with the machine's next start.
  // kChildMustBeVolatile for a lasting key under a volatile one;
  // kAccessDenied when a grant refuses creating below a key or the rights.
  virtual Result<OpenedKey> CreateKey(KeyId base, PathView path, std::u16string_view class_name,
                                      bool is_volatile, const AccessRequest& access) = 0;

  // Deletes the key at `path` below `base` (empty: `base` itself).
  // kAccessDenied when it has subkeys, is a root or a view's key, or its
  // grant lacks DELETE; kNotFound when missing.
  virtual Status DeleteKey(KeyId base, PathView path) = 0;

  // Fills `value` (its buffer is reused: callers on hot paths keep one).
  virtual Status QueryValue(KeyId key, std::u16string_view name, ValueData* value) = 0;
  // Creates or replaces; a replaced value keeps its place and spelling.
  virtual Status SetValue(KeyId key, std::u16string_view name, std::uint32_t type,
                          std::string_view data) = 0;
  virtual Status DeleteValue(KeyId key, std::u16string_view name) = 0;

  // The subkey at `index` in name order / the value at `index` in insertion
  // order; kNoMoreItems past the end.
  virtual Result<SubkeyEntry> EnumKey(KeyId key, std::uint32_t index) = 0;
  virtual Result<ValueEntry> EnumValue(KeyId key, std::uint32_t index) = 0;
  virtual Result<KeyInfo> QueryInfo(KeyId key) = 0;

  virtual Status SetGrant(KeyId key, std::uint32_t grant) = 0;
  virtual Result<std::uint32_t> GetGrant(KeyId key) = 0;

  // Removes every key and value but the roots and the keys the views need.
  virtual Status Clear() = 0;
};

// Forwards every call to another provider; derive and override what a test
// needs to change (fault injection), as leveldb's EnvWrapper does.
class ForwardingProvider : public RegistryProvider {
 public:
  explicit ForwardingProvider(std::shared_ptr<RegistryProvider> target)
      : target_(std::move(target)) {}

  Result<KeyId> Predefined(PredefinedKey root) override { return target_->Predefined(root); }
  Result<OpenedKey> OpenKey(KeyId base, PathView path, const AccessRequest& access) override {
    return target_->OpenKey(base, path, access);
  }
  Result<OpenedKey> CreateKey(KeyId base, PathView path, std::u16string_view class_name,
                              bool is_volatile, const AccessRequest& access) override {
    return target_->CreateKey(base, path, class_name, is_volatile, access);
  }
  Status DeleteKey(KeyId base, PathView path) override { return target_->DeleteKey(base, path); }
  Status QueryValue(KeyId key, std::u16string_view name, ValueData* value) override {
    return target_->QueryValue(key, name, value);
  }
  Status SetValue(KeyId key, std::u16string_view name, std::uint32_t type,
                  std::string_view data) override {
    return target_->SetValue(key, name, type, data);
  }
  Status DeleteValue(KeyId key, std::u16string_view name) override {
    return target_->DeleteValue(key, name);
  }
  Result<SubkeyEntry> EnumKey(KeyId key, std::uint32_t index) override {
    return target_->EnumKey(key, index);
  }
  Result<ValueEntry> EnumValue(KeyId key, std::uint32_t index) override {
    return target_->EnumValue(key, index);
  }
  Result<KeyInfo> QueryInfo(KeyId key) override { return target_->QueryInfo(key); }
  Status SetGrant(KeyId key, std::uint32_t grant) override { return target_->SetGrant(key, grant); }
  Result<std::uint32_t> GetGrant(KeyId key) override { return target_->GetGrant(key); }
  Status Clear() override { return target_->Clear(); }

  RegistryProvider& target() { return *target_; }

 private:
  std::shared_ptr<RegistryProvider> target_;
};

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_PROVIDER_H_
