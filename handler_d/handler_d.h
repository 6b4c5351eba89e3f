// clsZqRegyHandlerD: seven registry operations that never fail towards their
// caller. Each failure is recorded in the object's error state, read through
// four read-only properties, and announced at once through the event
// ErrorOccurred (interface __clsZqRegyHandlerD); the operation then returns its
// failure result (false, the caller's default text, or a one-element array).
//
// Every operation works on a root key and a path given in the call and closes
// every key it opens before it returns, on every path.
//
// Strings handed to the registry cross it in the ANSI code page. The
// automation members take them by reference, so after a call the caller's
// variable holds the text as it came back from that code page (characters it
// cannot represent replaced). The C++ overloads taking UString& show the same;
// those taking UStringView leave the caller's text alone. Set_Value rewrites a
// Variant passed as a non-const lvalue, as the automation member does.
//
// From C++:
//   constexpr std::int32_t kHkcu = static_cast<std::int32_t>(0x80000001u);
//   Ref<HandlerD> reg = HandlerD::Create();
//   reg->Set_Value(kHkcu, u"Software\\Maker", u"Path", VStr(u"C:\\App"),
//                  HandlerD::kStringValue);
//   Variant path = reg->Query_Value(kHkcu, u"Software\\Maker", u"Path");
//   if (reg->ErrorExist()) { ... reg->ErrorNumber(), reg->ErrorDescription() ... }
//
// Thread safety: an automation object of its creating thread; not shared.
#ifndef KEYSTREL_HANDLER_D_HANDLER_D_H_
#define KEYSTREL_HANDLER_D_HANDLER_D_H_

#include <cstdint>
#include <exception>
#include <memory>

#include "frame/catalogue.h"
#include "frame/events.h"
#include "frame/object.h"
#include "frame/safe_array.h"
#include "frame/variant.h"

namespace keystrel {

class HandlerD final : public Object {
 public:
  // Reg_Value: the kinds Set_Value writes (each is also the registry type).
  static constexpr std::int32_t kNullValue = 0;
  static constexpr std::int32_t kStringValue = 1;
  static constexpr std::int32_t kBinaryValue = 3;
  static constexpr std::int32_t kDwordValue = 4;
  // Reg_Result: how Query_Value adjusts its text.
  static constexpr std::int32_t kStringResult = 0;
  static constexpr std::int32_t kBooleanResult = 1;
  static constexpr std::int32_t kIntegerResult = 2;
  // The event number of ErrorOccurred.
  static constexpr std::int32_t kErrorOccurredEvent = 1;
  // Recorded when Query_Value or EnumKeys cannot open its key.
  static constexpr std::int32_t kInvalidKeyNumber = 20000;

  static Ref<HandlerD> Create();

  const ClassInfo* class_info() const noexcept override;
  EventSource* event_source() noexcept override { return &events_; }

  // The error state. Reading never fails; ErrorExist clears its flag after
  // reading it, nothing else clears anything.
  UString ErrorSource() const;
  UString ErrorDescription() const;
  std::int32_t ErrorNumber() const;
  bool ErrorExist();

  // RegDeleteKeyA of the key; true when it is gone.
  bool Delete_Key(std::int32_t lngKey, UString& sKeyName);
  bool Delete_Key(std::int32_t lngKey, UStringView sKeyName);

  // Deletes one value of the key; true when it is gone.
  bool Delete_Value(std::int32_t lngKey, UString& sKeyName, UString& sValueName);
  bool Delete_Value(std::int32_t lngKey, UStringView sKeyName, UStringView sValueName);

  // Creates the key (or opens it when it exists); true on success.
  bool Set_Key(std::int32_t lngKey, UString& sNewKeyName);
  bool Set_Key(std::int32_t lngKey, UStringView sNewKeyName);

  // Writes a value of kind `lValueType` (Reg_Value), creating a missing key
  // first. Kinds 0 and 3 rewrite `vValueSetting` into its text with one NUL
  // appended. Kinds outside Reg_Value write nothing and return true.
  // Raises only when `vValueSetting` cannot become text for the failure
  // report (an array, an object without a default value).
  bool Set_Value(std::int32_t lngKey, UString& sKeyName, UString& sValueName,
                 Variant& vValueSetting, std::int32_t lValueType);
  bool Set_Value(std::int32_t lngKey, UStringView sKeyName, UStringView sValueName,
                 Variant& vValueSetting, std::int32_t lValueType);
  bool Set_Value(std::int32_t lngKey, UStringView sKeyName, UStringView sValueName,
                 const Variant& vValueSetting, std::int32_t lValueType);

  // Reads a value as text (at most 255 bytes of data, the last byte taken as
  // the terminating NUL), `sDefault` when it cannot be read; then adjusted by
  // `ResultType` (Reg_Result). A string, or the integer 0.
  Variant Query_Value(std::int32_t lngKey, UString& sKeyName, UString& sValueName,
                      const UString& sDefault = {}, std::int32_t ResultType = kStringResult);
  Variant Query_Value(std::int32_t lngKey, UStringView sKeyName, UStringView sValueName,
                      UStringView sDefault = {}, std::int32_t ResultType = kStringResult);

  // True when the key can be opened for querying values. Records nothing.
  bool Query_Key(std::int32_t lngKey, UString& sKeyName);
  bool Query_Key(std::int32_t lngKey, UStringView sKeyName);

  // The names of the key's direct subkeys, a string array from 0 (no storage
  // for a key without subkeys; one empty string on failure).
  SafeArray EnumKeys(std::int32_t lngKey, UString& sKeyName);
  SafeArray EnumKeys(std::int32_t lngKey, UStringView sKeyName);

 private:
  // A run-time error that interrupted an operation.
  struct RuntimeFailure {
    std::int32_t number;
    UString source;
    UString description;
  };

  HandlerD();

  // Records a failure and raises ErrorOccurred with references to the state's
  // own fields, so a sink's assignments stick.
  void Record_Error(std::int32_t number, const UString& source, const UString& description,
                    bool look_up);
  // The three forms of report.
  void ReportRegistryFailure(const char16_t* label, std::int32_t result);
  void ReportUnexpected(const UString& prefix, const RuntimeFailure& failure);
  void ReportKeyNotOpened(const char16_t* source);
  // Inside a catch handler: the run-time error being handled.
  static RuntimeFailure CurrentFailure();

  bool SetValueBody(std::int32_t lngKey, UString& sKeyName, UString& sValueName,
                    Variant& vValueSetting, std::int32_t lValueType);
  bool QueryValueBody(std::int32_t lngKey, UString& sKeyName, UString& sValueName,
                      const UString& sDefault, Variant& result);

  // Fields as variants so the event can hand out references to them.
  Variant error_source_;
  Variant error_description_;
  Variant error_number_;
  bool error_exist_ = false;
  EventSource events_;
};

// The event interface __clsZqRegyHandlerD, shared by the catalogue entry and
// every object's event source.
std::shared_ptr<const EventInterfaceInfo> HandlerDEventInterface();

// Adds clsZqRegyHandlerD to the catalogue; later calls do nothing.
void RegisterHandlerDModule();

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_D_HANDLER_D_H_
