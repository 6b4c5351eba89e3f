// Automation errors: the one exception type that carries a failure to a
// caller as number, source and description, and the runtime's standard
// run-time errors.
//
// Inside the library errors travel as this exception; the late-bound layer and
// the COM front turn it into the client's error object. Every throw goes
// through RaiseError so the standard texts and the default source are filled
// in one place.
#ifndef KEYSTREL_FRAME_ERROR_H_
#define KEYSTREL_FRAME_ERROR_H_

#include <cstdint>
#include <exception>
#include <string>

#include "frame/ustring.h"

namespace keystrel {

// Standard run-time error numbers.
namespace rt {
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kArrayFixedOrLocked = 10;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kOutOfStringSpace = 14;
inline constexpr std::int32_t kObjectVariableNotSet = 91;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kResourceNotFound = 326;
inline constexpr std::int32_t kObjectRequired = 424;
inline constexpr std::int32_t kCannotCreateObject = 429;
inline constexpr std::int32_t kMemberNotFound = 438;
inline constexpr std::int32_t kObjectNotSupportAction = 445;
inline constexpr std::int32_t kArgumentNotOptional = 449;
inline constexpr std::int32_t kWrongArgumentCount = 450;
inline constexpr std::int32_t kPropertyLetNotDefined = 451;
inline constexpr std::int32_t kDuplicateKey = 457;
}  // namespace rt

// The source given to run-time errors that no member catches: the library's
// project name.
inline constexpr char16_t kRuntimeErrorSource[] = u"Keystrel10";

// The runtime's text for a standard error number ("Type mismatch" for 13, ...);
// "Application-defined or object-defined error" for numbers it does not know.
UString StandardErrorText(std::int32_t number);

class AutomationError : public std::exception {
 public:
  AutomationError(std::int32_t number, UString source, UString description);

  std::int32_t number() const noexcept { return number_; }
  const UString& source() const noexcept { return source_; }
  const UString& description() const noexcept { return description_; }

  // UTF-8 "number: description (source)", for logs and test output.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::int32_t number_;
  UString source_;
  UString description_;
  std::string what_;
};

// Throws AutomationError. An empty source becomes kRuntimeErrorSource and an
// empty description the standard text of `number`.
[[noreturn]] void RaiseError(std::int32_t number, UString source = {}, UString description = {});

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_ERROR_H_
