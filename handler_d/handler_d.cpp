// The error state of clsZqRegyHandlerD, Record_Error and the three forms in
// which the operations report a failure.
#include "handler_d/handler_d.h"

#include <array>
#include <new>

#include "frame/convert.h"
#include "frame/error.h"
#include "handler_d/message_table.h"

namespace keystrel {
namespace {

constexpr char16_t kTwoLineBreaks[] = u"\r\n\r\n";
constexpr char16_t kInvalidKeyText[] = u"The registry key specified is invalid.";

// A sink may assign anything to a by-reference argument; the field keeps its
// declared subtype, or the value recorded when the new one cannot take it.
void KeepSubtype(Variant& field, VarType type, const Variant& recorded) {
  if (field.type() == type) return;
  try {
    field = ChangeType(field, type);
  } catch (const AutomationError&) {
    field = recorded;
  }
}

}  // namespace

HandlerD::HandlerD()
    : error_source_(Variant::String({})),
      error_description_(Variant::String({})),
      error_number_(Variant::Long(0)),
      events_(HandlerDEventInterface()) {}

Ref<HandlerD> HandlerD::Create() { return Ref<HandlerD>(new HandlerD()); }

UString HandlerD::ErrorSource() const {
  if (error_source_.is_string()) return error_source_.string();
  try {
    return ToText(error_source_);
  } catch (const AutomationError&) {
    return {};
  }
}

UString HandlerD::ErrorDescription() const {
  if (error_description_.is_string()) return error_description_.string();
  try {
    return ToText(error_description_);
  } catch (const AutomationError&) {
    return {};
  }
}

std::int32_t HandlerD::ErrorNumber() const {
  if (error_number_.type() == VarType::kLong) return error_number_.long_value();
  try {
    return ToLong(error_number_);
  } catch (const AutomationError&) {
    return 0;
  }
}

bool HandlerD::ErrorExist() {
  const bool exist = error_exist_;
  error_exist_ = false;
  return exist;
}

void HandlerD::Record_Error(std::int32_t number, const UString& source,
                            const UString& description, bool look_up) {
  error_exist_ = true;
  error_number_ = Variant::Long(number);
  error_source_ = Variant::String(source);
  error_description_ = Variant::String(look_up ? RegistryResultMessage(number) : description);
  if (!events_.has_sinks()) return;

  // Copies of what was recorded, for a sink that assigns a value the field
  // cannot hold.
  const Variant number_recorded = error_number_;
  const Variant source_recorded = error_source_;
  const Variant description_recorded = error_description_;
  std::array<Arg, 3> args = {Arg::ByRef(error_number_), Arg::ByRef(error_source_),
                             Arg::ByRef(error_description_)};
  try {
    events_.Raise(kErrorOccurredEvent, args);
  } catch (const std::exception&) {
    // A failing sink is the client's own fault; the operation still has to
    // finish its steps (and close its keys) and must not fail its caller.
  }
  KeepSubtype(error_number_, VarType::kLong, number_recorded);
  KeepSubtype(error_source_, VarType::kString, source_recorded);
  KeepSubtype(error_description_, VarType::kString, description_recorded);
}

void HandlerD::ReportRegistryFailure(const char16_t* label, std::int32_t result) {
  Record_Error(result, label + UString(kTwoLineBreaks), {}, true);
}

void HandlerD::ReportUnexpected(const UString& prefix, const RuntimeFailure& failure) {
  Record_Error(failure.number, prefix + kTwoLineBreaks + failure.source, failure.description,
               false);
}

void HandlerD::ReportKeyNotOpened(const char16_t* source) {
  Record_Error(kInvalidKeyNumber, source, kInvalidKeyText, false);
}

HandlerD::RuntimeFailure HandlerD::CurrentFailure() {
  try {
    throw;
  } catch (const AutomationError& e) {
    return {e.number(), e.source(), e.description()};
  } catch (const std::bad_alloc&) {
    return {rt::kOutOfMemory, kRuntimeErrorSource, StandardErrorText(rt::kOutOfMemory)};
  } catch (...) {
    // Anything else is a fault below us; the caller still gets a recorded
    // failure instead of an exception.
    return {rt::kInvalidProcedureCall, kRuntimeErrorSource,
            StandardErrorText(rt::kInvalidProcedureCall)};
  }
}

}  // namespace keystrel
