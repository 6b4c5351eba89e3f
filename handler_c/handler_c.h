// clsZqRegyHandlerC: the property-addressed registry handler.
//
// A client addresses one key by three properties: a predefined root (`hKey`),
// a path below it (`KeyRoot`) and a subkey below that path (`Subkey`). The
// handler's key path is `KeyRoot` + "\" + `Subkey`, joined exactly so, with
// nothing validated. On that key the object tests for, creates and deletes
// keys, deletes values, and reads and writes typed values. It also lists the
// subkeys and values of any key into keyed collections, and reads and writes
// single values on another computer's registry.
//
// Error convention: no member catches run-time errors. Registry failures are
// reported through results only (false, "", a platform number, the default);
// failed conversions (13, 6, 94) and the 16-bit position limits (6) reach the
// caller as automation errors. Every key a member opens is closed before it
// returns, on every path.
//
// Thread safety: an object is used on its creator's thread, as the automation
// layer does; it holds no open handle between calls.
#ifndef KEYSTREL_HANDLER_C_HANDLER_C_H_
#define KEYSTREL_HANDLER_C_HANDLER_C_H_

#include <cstdint>
#include <optional>

#include "frame/collection.h"
#include "frame/object.h"
#include "frame/ustring.h"
#include "frame/variant.h"

namespace keystrel {

class HandlerC final : public Object {
 public:
  static Ref<HandlerC> Create();

  const ClassInfo* class_info() const noexcept override;

  // Properties: stored and returned unchanged, no validation, no registry
  // access; any 32-bit value is accepted as a root.
  std::int32_t hKey() const noexcept { return root_; }
  void set_hKey(std::int32_t value) noexcept { root_ = value; }
  const UString& KeyRoot() const noexcept { return key_root_; }
  void set_KeyRoot(UString value) { key_root_ = std::move(value); }
  const UString& Subkey() const noexcept { return subkey_; }
  void set_Subkey(UString value) { subkey_ = std::move(value); }

  // True when the key at the root and the handler's key path opens for
  // reading.
  bool KeyExists();

  // Creates (or opens) `KeyRoot`\<key name> with all access and returns "0",
  // or "" when the platform refuses. The key name is `KeyName` as text, or
  // `Subkey` when `KeyName` holds the missing marker; it is written back into
  // `KeyName`.
  UString CreateKey(Variant& KeyName);
  UString CreateKey();

  // Deletes `KeyRoot`\`KeyName` and returns the platform's result (0 when
  // removed, 2 when absent). An empty `KeyName` (or one of backslashes only)
  // is refused with 87: that path would name `KeyRoot` itself.
  std::int32_t DeleteKey(const UString& KeyName);

  // Deletes a value of the addressed key; returns the result of the open when
  // it fails, else that of the deletion. `ValueName` comes back as it crossed
  // the ANSI boundary.
  std::int32_t DeleteValue(UString& ValueName);

  // Subkey names, and (name, display form) pairs of the values, of the key
  // `KeyName` below `hKey` (the key `hKey` itself when `KeyName` is empty),
  // each under its name as the collection key. The object's properties are
  // neither read nor changed.
  Ref<Collection> EnumRegistryKeys(std::int32_t hKey, const UString& KeyName);
  Ref<Collection> EnumRegistryValues(std::int32_t hKey, const UString& KeyName);

  // Reads a value of the addressed key, decoded by its stored type; returns
  // `DefaultValue` (Empty when it holds the missing marker) when the key or
  // the value is absent or nothing decodable is stored.
  Variant GetRegistryValue(const UString& ValueName,
                           const Variant& DefaultValue = Variant::Missing());

  // Writes `Value` as `DType` (REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
  // REG_MULTI_SZ) into the addressed key, which must exist. True when the
  // write succeeded or when `DType` is none of the five (nothing is written).
  bool SetRegistryValue(const UString& ValueName, const Variant& Value, std::int32_t DType);

  // The same on another computer's registry: root `hKey` there, the path
  // `KeyPath` or, when it is not given, the handler's key path. The read
  // returns "Error!" when the computer cannot be reached and Empty when the key
  // cannot be opened with all access; the write returns false in both cases.
  Variant ReadRemoteRegistryValue(const UString& sRemoteComputer, std::int32_t hKey,
                                  const UString& ValueName,
                                  const std::optional<UString>& KeyPath = std::nullopt);
  bool WriteRemoteRegistryValue(const UString& sRemoteComputer, std::int32_t hKey,
                                const UString& ValueName, const Variant& Value,
                                std::int32_t DType,
                                const std::optional<UString>& KeyPath = std::nullopt);

  // Cuts `Item` at its first NUL (changing the caller's string) and returns
  // it. Raises 6 when that NUL lies beyond position 32767.
  UString TrimNull(UString& Item);

  HandlerC() = default;

 private:
  UString KeyPath() const;  // KeyRoot + "\" + Subkey

  std::int32_t root_ = 0;
  UString key_root_;
  UString subkey_;
  // The security-attributes record passed to key creation (length,
  // descriptor, inherit flag). No member changes it: all zero, so created
  // keys get default security and their handles are not inheritable.
  struct CreationSecurity {
    std::uint32_t length = 0;
    void* descriptor = nullptr;
    std::int32_t inherit = 0;
  };
  CreationSecurity creation_security_;
};

// Adds clsZqRegyHandlerC to the catalogue.
void RegisterHandlerCModule();

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_C_HANDLER_C_H_
