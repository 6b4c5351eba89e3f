#include "frame/error.h"

#include <string>
#include <utility>

namespace keystrel {

UString StandardErrorText(std::int32_t number) {
  switch (number) {
    case rt::kInvalidProcedureCall: return u"Invalid procedure call or argument";
    case rt::kOverflow: return u"Overflow";
    case rt::kOutOfMemory: return u"Out of memory";
    case rt::kSubscriptOutOfRange: return u"Subscript out of range";
    case rt::kArrayFixedOrLocked: return u"This array is fixed or temporarily locked";
    case rt::kDivisionByZero: return u"Division by zero";
    case rt::kTypeMismatch: return u"Type mismatch";
    case rt::kOutOfStringSpace: return u"Out of string space";
    case rt::kObjectVariableNotSet: return u"Object variable or With block variable not set";
    case rt::kInvalidUseOfNull: return u"Invalid use of Null";
    // The runtime puts the identifier in place of '%'; callers that know it
    // pass their own description.
    case rt::kResourceNotFound: return u"Resource with identifier '%' not found";
    case rt::kObjectRequired: return u"Object required";
    case rt::kCannotCreateObject: return u"ActiveX component can't create object";
    case rt::kMemberNotFound: return u"Object doesn't support this property or method";
    case rt::kObjectNotSupportAction: return u"Object doesn't support this action";
    case rt::kArgumentNotOptional: return u"Argument not optional";
    case rt::kWrongArgumentCount:
      return u"Wrong number of arguments or invalid property assignment";
    case rt::kPropertyLetNotDefined:
      return u"Property let procedure not defined and property get procedure did not "
             u"return an object";
    case rt::kDuplicateKey:
      return u"This key is already associated with an element of this collection";
    default: return u"Application-defined or object-defined error";
  }
}

AutomationError::AutomationError(std::int32_t number, UString source, UString description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {
  what_ = std::to_string(number_) + ": " + UToUtf8(description_) + " (" + UToUtf8(source_) + ")";
}

void RaiseError(std::int32_t number, UString source, UString description) {
  if (source.empty()) source = kRuntimeErrorSource;
  if (description.empty()) description = StandardErrorText(number);
  throw AutomationError(number, std::move(source), std::move(description));
}

}  // namespace keystrel
