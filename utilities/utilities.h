// clsZqRegyUtilitesA: section/value utilities and file associations.
//
// A client addresses one value through five properties: a root
// (`ClassKey`), the key path below it (`SectionKey`, the section), the value
// name (`ValueKey`, empty for the key's default value), the type a write uses
// (`valueType`) and what a failed read returns (`Default`). On that address
// the object tests for, creates and deletes the key, deletes the value, and
// reads or writes `Value`. It also lists the value names and subkey names of
// the addressed key into 1-based string arrays, and registers an executable
// as the handler of a file extension under both class roots.
//
// Errors: the class raises its own errors (26001, -2147194455, -2147194454,
// -2147194452, -2147194451) with the source "keystrel10.czRegyUtilites" and
// descriptions that name the root, section and value concerned. Failed
// conversions of a written value reach the caller as run-time errors (13, 94).
// A read never raises: what cannot be read yields `Default`.
//
// Every member opens the key it needs and closes it before it returns, on
// every path; nothing is held between calls.
//
// From C++:
//   Ref<UtilitesA> u = UtilitesA::Create();
//   u->set_ClassKey(UtilitesA::kHkeyCurrentUser);
//   u->set_SectionKey(u"Software\\Maker\\App");
//   u->set_ValueKey(u"Path");
//   u->set_valueType(UtilitesA::kRegSz);
//   u->set_Value(VStr(u"C:\\App"));      // creates the key when it is missing
//   Variant path = u->Value();           // "C:\App"; valueType now 1
//
// Thread safety: an automation object of its creating thread; not shared.
#ifndef KEYSTREL_UTILITIES_UTILITIES_H_
#define KEYSTREL_UTILITIES_UTILITIES_H_

#include <cstdint>

#include "frame/object.h"
#include "frame/safe_array.h"
#include "frame/ustring.h"
#include "frame/variant.h"

namespace keystrel {

class UtilitesA final : public Object {
 public:
  // ERegistryClassConstants.
  static constexpr std::int32_t kHkeyClassesRoot = static_cast<std::int32_t>(0x80000000u);
  static constexpr std::int32_t kHkeyCurrentUser = static_cast<std::int32_t>(0x80000001u);
  static constexpr std::int32_t kHkeyLocalMachine = static_cast<std::int32_t>(0x80000002u);
  static constexpr std::int32_t kHkeyUsers = static_cast<std::int32_t>(0x80000003u);
  // ERegistryValueTypes that a write of `Value` uses.
  static constexpr std::int32_t kRegSz = 1;
  static constexpr std::int32_t kRegExpandSz = 2;
  static constexpr std::int32_t kRegBinary = 3;
  static constexpr std::int32_t kRegDword = 4;
  static constexpr std::int32_t kRegDwordBigEndian = 5;

  static Ref<UtilitesA> Create();

  const ClassInfo* class_info() const noexcept override;

  // The addressing properties: stored and returned unchanged; any 32-bit
  // value is accepted as a root or a type.
  std::int32_t ClassKey() const noexcept { return class_key_; }
  void set_ClassKey(std::int32_t value) noexcept { class_key_ = value; }
  const UString& SectionKey() const noexcept { return section_key_; }
  void set_SectionKey(UString value) { section_key_ = std::move(value); }
  const UString& ValueKey() const noexcept { return value_key_; }
  void set_ValueKey(UString value) { value_key_ = std::move(value); }
  const Variant& Default() const noexcept { return default_; }
  void set_Default(Variant value) { default_ = std::move(value); }
  std::int32_t valueType() const noexcept { return value_type_; }
  void set_valueType(std::int32_t value) noexcept { value_type_ = value; }

  // True when the section opens for querying values. Never raises.
  bool KeyExists();

  // Creates the section with its missing parents (an existing one counts as
  // created) and returns true; raises 26001 when the platform refuses.
  bool CreateKey();

  // Deletes the section (it must have no subkeys) and returns true; raises
  // 26001 when the platform refuses, a missing section included.
  bool DeleteKey();

  // Deletes the value `ValueKey` of the section and returns true; raises
  // 26001 when the section cannot be opened or the value not deleted.
  bool DeleteValue();

  // Reads the addressed value by its stored type: text for REG_SZ and
  // REG_MULTI_SZ (less the terminating NUL, so a multi-string shows each item
  // followed by a NUL), expanded text for REG_EXPAND_SZ, a long for
  // REG_DWORD and REG_DWORD_BIG_ENDIAN (first stored byte most significant),
  // a byte array from 0 for every other type. Sets `valueType` to the stored
  // type. A section or value that cannot be read yields a copy of `Default`
  // and leaves `valueType` as it was. Never raises.
  Variant Value();

  // Writes `v` by `valueType`, creating the section and its parents first:
  // 1 and 2 as text (REG_EXPAND_SZ when the text holds two percent signs at
  // least two positions apart, else REG_SZ); 3 a byte array as REG_BINARY;
  // 4 and 5 a 16- or 32-bit integer as a little-endian REG_DWORD.
  // Raises 26001 when the section cannot be created or when REG_BINARY is
  // given anything but a byte array; -2147194455 when the platform refuses
  // the write, when a double-word type is given anything but an integer, and
  // for every other `valueType`. Nothing is written when it raises.
  // `valueType` is never changed.
  void set_Value(const Variant& v);

  // The value names (EnumerateValues) or subkey names (EnumerateSections) of
  // the section, in the platform's order, into `names` with bounds 1 to the
  // count; `names` has no storage when nothing is found. Whatever the caller's
  // array held is released first. A section that cannot be opened is no
  // error: true with a count of 0. Section names are read into a
  // 255-character buffer: a name that does not fit it with its terminating
  // NUL ends the listing there. EnumerateSections raises -2147194454 with the
  // description of any run-time error that stops it, leaving the names and
  // count found so far.
  bool EnumerateValues(SafeArray& sKeyNames, std::int32_t& iKeyCount);
  bool EnumerateSections(SafeArray& sSect, std::int32_t& iSectCount);

  // Registers `sExePath` as the handler of the extension `sAssociation`
  // (given without its dot) under both HKEY_CLASSES_ROOT and
  // HKEY_LOCAL_MACHINE\SOFTWARE\Classes: the extension key naming the class,
  // the class key with its description, the verbs open, print, install
  // ("add") and new with their command lines, and the default icon when
  // `lDefaultIconIndex` is 0 or more. Empty menu texts get "&Open", "&Print",
  // "&Install " + extension, "&New". A class name that names no key below
  // the class root (empty, backslashes only) raises 5 before anything is
  // written. The first write that fails raises its error; rows written before
  // it stay. Afterwards `ClassKey` is
  // HKEY_LOCAL_MACHINE, `SectionKey` the last key written (relative to the
  // class root), `ValueKey` empty and `valueType` REG_SZ.
  void CreateEXEAssociation(const UString& sExePath, const UString& sClassName,
                            const UString& sClassDescription, const UString& sAssociation,
                            const UString& sOpenMenuText = u"&Open", bool bSupportPrint = false,
                            const UString& sPrintMenuText = u"&Print", bool bSupportNew = false,
                            const UString& sNewMenuText = u"&New", bool bSupportInstall = false,
                            const UString& sInstallMenuText = u"",
                            std::int32_t lDefaultIconIndex = -1);

  // Adds verbs to a registered class: `vItems` holds Name, Text and Command
  // for each verb, from index 0. Raises -2147194452 when the list has no
  // storage or its upper bound plus one is not a multiple of 3, and
  // -2147194451 when `sClassName` does not exist under the current
  // `ClassKey` (which this member does not set) or names no key below it. Each verb is written
  // under both class roots; a verb that fails is skipped and the others are still written (one
  // whose name cannot be read is skipped whole).
  void CreateAdditionalEXEAssociations(const UString& sClassName, const SafeArray& vItems);

  UtilitesA() = default;

 private:
  // Writes `text` as the default value of `SectionKey` under
  // HKEY_CLASSES_ROOT, then under HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
  void SetClassesValue(const UString& text);
  void WriteClassesRow(const UString& key, const UString& text);
  UString SetValueDescription(const Variant& v) const;

  std::int32_t class_key_ = 0;
  UString section_key_;
  UString value_key_;
  Variant default_;
  std::int32_t value_type_ = 0;
};

// Adds clsZqRegyUtilitesA to the catalogue.
void RegisterUtilitiesModule();

}  // namespace keystrel

#endif  // KEYSTREL_UTILITIES_UTILITIES_H_
