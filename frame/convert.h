// Conversions between variant subtypes with the automation runtime's rules
// and results, US English locale. This file is the one place such rules live:
// members, late-bound argument coercion and array element writes all come
// here.
//
// Failures: a value that cannot be converted raises 13 (type mismatch), a
// number outside the target's range 6 (overflow), Null where text or a number
// is needed 94 (invalid use of Null). An object converts through its default
// member (dispatch identifier 0); an object without one raises 438, Nothing
// raises 91.
//
// Rules worth knowing:
// - To byte/integer/long: round half to even (2.5 -> 2, 3.5 -> 4).
// - To string: double with up to 15 significant digits, single with 7,
//   exponents as "1E+20" / "1E-05"; booleans "True"/"False"; currency as its
//   shortest decimal; dates in the general date format ("2/3/2001 4:05:06 AM",
//   a date alone when there is no time, a time alone when the date is 0).
// - Text to number: leading/trailing blanks, sign, decimal point, exponent,
//   thousands separators as the runtime accepts them, &H and &O prefixes
//   read as two's complement of the target's width: "&HFFFF" is -1 as an
//   Integer but 65535 as a Long or Double; "&HFFFFFFFF" is -1 as a Long;
//   wider targets read the digits as a Long.
// - Boolean from number: nonzero is True (-1); from text: "True"/"False" (any
//   case) or a number.
// - Empty converts to 0, "" or False.
#ifndef KEYSTREL_FRAME_CONVERT_H_
#define KEYSTREL_FRAME_CONVERT_H_

#include <cstdint>
#include <vector>

#include "frame/variant.h"

namespace keystrel {

// VariantChangeType: the value converted to `target` (a scalar subtype, or
// kVariant for no change). Arrays convert only to an array type with the same
// element type (else 13); kArray|kByte also accepts a string (its UTF-16
// bytes, as assigning a string to a byte array does).
Variant ChangeType(const Variant& value, VarType target);

// The runtime's CStr, CByte, CInt, CLng, CSng, CDbl, CCur, CDate, CBool.
UString ToText(const Variant& value);
std::uint8_t ToByte(const Variant& value);
std::int16_t ToInteger(const Variant& value);
std::int32_t ToLong(const Variant& value);
float ToSingle(const Variant& value);
double ToDouble(const Variant& value);
Currency ToCurrency(const Variant& value);
Date ToDate(const Variant& value);
bool ToBool(const Variant& value);

// Assigning a variant to a byte array: a byte array is copied, a string gives
// its UTF-16 bytes, anything else raises 13.
std::vector<std::uint8_t> ToBytes(const Variant& value);

// The runtime's IsNumeric: true for numeric subtypes, Empty and booleans, and
// for text that converts to a double (blanks, sign, decimal point, exponent,
// &H/&O prefixes, a currency sign); false for Null, objects, arrays and errors.
bool IsNumeric(const Variant& value);

// Parses text as the runtime's numeric conversion does; false when it is not a
// number. Used by IsNumeric and by the conversions to numbers.
bool ParseNumber(UStringView text, double* out);

// Number formatting used by ToText.
UString FormatDouble(double v);
UString FormatSingle(float v);
UString FormatCurrency(Currency v);
UString FormatDate(Date v);

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_CONVERT_H_
