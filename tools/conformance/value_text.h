// Exact text forms of the values a vector writes as text: currency, decimal,
// date and hex byte strings, both ways.
//
// Parsing is exact: a currency with more than four decimals or a decimal
// beyond 96 bits is refused rather than rounded, so a vector never checks a
// value other than the one it shows.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_VALUE_TEXT_H_
#define KEYSTREL_TOOLS_CONFORMANCE_VALUE_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/variant.h"

namespace keystrel::conformance {

// "12.5", "-0.0001", "922337203685477.5807": optional sign, digits, optional
// point and up to four decimals. nullopt when not such a number or out of range.
std::optional<Currency> ParseCurrency(std::string_view text);
std::string FormatCurrencyText(Currency value);  // shortest: "12.5", "-3", "0"

// Optional sign, digits, optional point and decimals; magnitude below 2^96,
// at most 28 decimals. The scale is kept as written ("1.50" has scale 2).
std::optional<Decimal> ParseDecimal(std::string_view text);
std::string FormatDecimalText(const Decimal& value);
// The same number with trailing fraction zeros removed and zero unsigned, so
// 1.5 and 1.50 compare equal.
Decimal NormalizeDecimal(const Decimal& value);

// "2001-02-03", "2001-02-03 04:05:06" (or with "T"), "04:05:06" (a time alone
// is on day 0, 1899-12-30). Years 100 to 9999.
std::optional<Date> ParseDate(std::string_view text);
// "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" when there is a time of day.
std::string FormatDateText(Date value);

// "0a ff", "0aff": pairs of hex digits, blanks between anywhere.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);
std::string FormatHexBytes(const std::vector<std::uint8_t>& bytes);  // "0a ff"

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_VALUE_TEXT_H_
