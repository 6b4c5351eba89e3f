// clsZqRegyHandlerB: the path-based registry handler.
//
// Eight operations, each addressed by a root key value (`lngRootKey`: a
// predefined root such as 0x80000001, or any key handle the caller holds) and
// a key path below it given in the call: list a key's text and double-word
// values as "name|value" entries, delete all values of a key, delete one
// value, test that a key exists, read one value, write one value, create a
// key, delete a subkey. The property `hKey` turns a root index 0 to 6 into
// the root key value a caller then passes as `lngRootKey`; no operation reads
// it.
//
// Error convention: no member catches run-time errors. Registry failures are
// never raised; they show only in the boolean results (or not at all for the
// two operations that return nothing). Failed conversions (13, 6, 94), the
// 16-bit counters (6) and an unknown root index (1000, after a warning box)
// reach the caller as automation errors. Every key a member opens is closed
// before it returns, on every path, errors included; a handle the platform
// hands back unchanged for an empty path is the caller's and stays open.
//
// Text holding a NUL character names no key or value: the ANSI registry
// functions would stop reading at the NUL and reach another key or value (a
// parent key, a shorter name). Members treat such a path or name as one that
// does not exist and change nothing.
//
// From C++:
//   Ref<HandlerB> reg = HandlerB::Create();
//   reg->set_hKey(VLong(1));                      // HKEY_CURRENT_USER
//   const std::int32_t root = reg->hKey().long_value();
//   reg->regCreate_Key_Value(root, u"Software\\Maker", u"Timeout", VLong(30));
//   std::int32_t count = 0;
//   SafeArray entries(VarType::kVariant);
//   if (reg->regRead_All_Keys(root, u"Software\\Maker", count, entries)) {
//     // entries(0 .. count - 1) hold "Timeout|30", ...
//   }
//
// Thread safety: an automation object of its creating thread; not shared.
#ifndef KEYSTREL_HANDLER_B_HANDLER_B_H_
#define KEYSTREL_HANDLER_B_HANDLER_B_H_

#include <cstdint>
#include <vector>

#include "frame/object.h"
#include "frame/safe_array.h"
#include "frame/ustring.h"
#include "frame/variant.h"

namespace keystrel {

class HandlerB final : public Object {
 public:
  // The error `hKey` let raises for a root index outside 0 to 6, after the
  // warning box.
  static constexpr std::int32_t kUnknownRootError = 1000;
  static constexpr char16_t kUnknownRootSource[] = u"Keystrel10.clsZqRegyHandlerB";
  static constexpr char16_t kUnknownRootDescription[] =
      u"An unknown root level registry key has been requested. Valid key requests are 0 to 6.";
  // The warning box.
  static constexpr std::int32_t kWarningStyle = 48;  // exclamation icon, OK button
  static constexpr char16_t kWarningTitle[] = u"Unknown Key";

  static Ref<HandlerB> Create();

  const ClassInfo* class_info() const noexcept override;

  // The stored root key value: Empty until the first accepted assignment,
  // then a Long (0x80000000 + the index), never the index itself.
  const Variant& hKey() const noexcept { return root_; }

  // Stores the root key value of the index 0 to 6 that `vNewValue` equals as
  // a number (a number, a Boolean, text that reads as a number, Empty as 0).
  // Text that is no number raises 13; an object is taken by its default
  // value. Any other value (7, -1, 2.5, Null) shows the warning box and then
  // raises 1000; the stored value stays as it was.
  void set_hKey(const Variant& vNewValue);

  // Lists the REG_SZ, REG_EXPAND_SZ and REG_DWORD values of the key as
  // "name|value" (a double word as its decimal number), in the registry's
  // value order; other types are skipped. The listing ends at the first value
  // whose name does not fit 255 characters or whose data does not fit 255
  // bytes, and after a value that cannot be read back. When something was
  // listed: `lngKeyCount` becomes the number of entries, `arKeyArray` (a
  // Variant array, else 13) is re-dimensioned to 0 .. n - 1 holding them,
  // and the result is true. Otherwise both are left alone and the result is
  // false. More than 32767 entries raise 6 after `lngKeyCount` was set.
  bool regRead_All_Keys(std::int32_t lngRootKey, const UString& strRegKeyPath,
                        std::int32_t& lngKeyCount, SafeArray& arKeyArray);

  // Deletes the key's values one by one from the first, stopping at the first
  // one that cannot be enumerated (too long for the 255-byte buffers) or
  // deleted. True when at least one value was deleted. A 32768th deletion
  // raises 6 (the first 32767 stay deleted).
  bool regDelete_Multiple_Key_Values(std::int32_t lngRootKey, const UString& strRegKeyPath);

  // Deletes the value `strRegSubKey` ("" is the unnamed value) of the key.
  // True when it was deleted.
  bool regDelete_Single_Key(std::int32_t lngRootKey, const UString& strRegKeyPath,
                            const UString& strRegSubKey);

  // True when the key opens.
  bool regDoes_Key_Exist(std::int32_t lngRootKey, const UString& strRegKeyPath);

  // The value `strRegSubKey` of the key: a REG_SZ or REG_EXPAND_SZ value as
  // its text up to the first NUL (unexpanded), a REG_DWORD value as a Long,
  // anything else (another type, a missing key or value) as "". Raises 6 for
  // a text whose first NUL lies beyond position 32767.
  Variant regQuery_A_Key(std::int32_t lngRootKey, const UString& strRegKeyPath,
                         const UString& strRegSubKey);

  // Creates the key when needed and writes `varRegData` into the value
  // `strRegSubKey`: data that passes the numeric test (a number, a Boolean,
  // Empty, text that reads as a number) as a REG_DWORD of its Long
  // conversion, anything else as a REG_SZ of its text with the blanks at both
  // ends removed (Null writes ""). A value that cannot be converted raises 6
  // or 13 before anything is created. A failed creation or write gives no
  // sign.
  void regCreate_Key_Value(std::int32_t lngRootKey, const UString& strRegKeyPath,
                           const UString& strRegSubKey, const Variant& varRegData);

  // Creates the key (with its missing parents) unless it exists. No sign of
  // failure.
  void regCreate_A_Key(std::int32_t lngRootKey, const UString& strRegKeyPath);

  // Deletes the subkey `strRegKeyName` (which must have no subkeys) of the
  // key. True when it was deleted. An empty name (or one of backslashes only)
  // names no subkey and deletes nothing.
  bool regDelete_A_Key(std::int32_t lngRootKey, const UString& strRegKeyPath,
                       const UString& strRegKeyName);

  HandlerB() = default;

 private:
  // Appends the listed names and values of the key; records every registry
  // result in `last_result_`.
  void ListValues(std::int32_t lngRootKey, const UString& strRegKeyPath,
                  std::vector<UString>& names, std::vector<Variant>& values);

  Variant root_;  // the field `hKey`
  // `lngLastResult`: the result of the most recent registry call of any
  // member (closing keys excepted). It steers the loops of the listing and
  // deletion members; no member exposes it.
  std::int32_t last_result_ = 0;
};

// Adds clsZqRegyHandlerB to the catalogue.
void RegisterHandlerBModule();

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_B_HANDLER_B_H_
