// The automation layer's error object ("ErrObject"): the number, source,
// description, help file and help context of one failure, as a handler
// receives it. The About routine hands one to the maker's error report.
//
// Each failure gets its own object holding a copy of the error, so what a
// report keeps stays as it was when the failure happened, whatever the
// routine does afterwards.
//
// Thread safety: an automation object of its creating thread; not shared.
#ifndef KEYSTREL_HOST_INTERNAL_ERROR_OBJECT_H_
#define KEYSTREL_HOST_INTERNAL_ERROR_OBJECT_H_

#include <cstdint>

#include "frame/error.h"
#include "frame/object.h"
#include "frame/ustring.h"
#include "frame/variant.h"

namespace keystrel::host_detail {

inline constexpr char16_t kErrorObjectClass[] = u"ErrObject";

class ErrorObject final : public Object {
 public:
  // An object describing `error`; help file "" and help context 0.
  static Ref<ErrorObject> Create(const AutomationError& error);
  // A cleared object (number 0, empty texts).
  static Ref<ErrorObject> Create();

  ErrorObject() = default;

  const ClassInfo* class_info() const noexcept override;

  std::int32_t Number() const noexcept { return number_; }
  const UString& Source() const noexcept { return source_; }
  const UString& Description() const noexcept { return description_; }
  const UString& HelpFile() const noexcept { return help_file_; }
  std::int32_t HelpContext() const noexcept { return help_context_; }

  void set_Number(std::int32_t value) noexcept { number_ = value; }
  void set_Source(UString value) { source_ = std::move(value); }
  void set_Description(UString value) { description_ = std::move(value); }
  void set_HelpFile(UString value) { help_file_ = std::move(value); }
  void set_HelpContext(std::int32_t value) noexcept { help_context_ = value; }

  // Number 0 and empty texts.
  void Clear() noexcept;

  // Stores the error and raises it. An argument given as the missing marker
  // keeps the object's current value; a source or description that is then
  // still empty gets the runtime's default (the library's name, the standard
  // text of the number). Text arguments convert as the runtime converts
  // (13 for an object or array, 94 for Null); the help context to a long.
  [[noreturn]] void Raise(std::int32_t number, const Variant& source, const Variant& description,
                          const Variant& help_file, const Variant& help_context);

 private:
  std::int32_t number_ = 0;
  UString source_;
  UString description_;
  UString help_file_;
  std::int32_t help_context_ = 0;
};

// Adds "ErrObject" to the catalogue as a runtime class (the automation
// layer's own, never created by clients).
void RegisterErrorObjectClass();

}  // namespace keystrel::host_detail

#endif  // KEYSTREL_HOST_INTERNAL_ERROR_OBJECT_H_
