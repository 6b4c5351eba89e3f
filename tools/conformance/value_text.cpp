#include "tools/conformance/value_text.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace keystrel::conformance {
namespace {

// GCC and Clang both have 128-bit integers; the marker keeps -Wpedantic quiet.
__extension__ typedef unsigned __int128 U128;
__extension__ typedef __int128 I128;

constexpr U128 kDecimalLimit = (static_cast<U128>(1) << 96);  // exclusive

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits "[-+]digits[.digits]" into its parts; false when the text is not of
// that shape (no exponent, no blanks, at least one digit).
bool SplitNumber(std::string_view text, bool* negative, std::string_view* whole,
                 std::string_view* fraction) {
  *negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    *negative = text[0] == '-';
    text.remove_prefix(1);
  }
  std::size_t point = text.find('.');
  *whole = text.substr(0, point);
  *fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole->empty() && fraction->empty()) return false;
  for (char c : *whole) {
    if (!IsDigit(c)) return false;
  }
  for (char c : *fraction) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// Accumulates digits; false once the value reaches `limit`.
bool AccumulateDigits(std::string_view digits, U128 limit, U128* value) {
  for (char c : digits) {
    *value = *value * 10 + static_cast<unsigned>(c - '0');
    if (*value >= limit) return false;
  }
  return true;
}

std::string U128ToText(U128 v) {
  if (v == 0) return "0";
  std::string out;
  while (v != 0) {
    out.insert(out.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  return out;
}

U128 DecimalMagnitude(const Decimal& d) { return (static_cast<U128>(d.hi32) << 64) | d.lo64; }

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

const std::int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);

bool ParseFixedDigits(std::string_view text, std::size_t pos, std::size_t count, int* out) {
  if (pos + count > text.size()) return false;
  int v = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!IsDigit(text[i])) return false;
    v = v * 10 + (text[i] - '0');
  }
  *out = v;
  return true;
}

// "HH:MM" or "HH:MM:SS" -> seconds of the day.
std::optional<int> ParseTime(std::string_view text) {
  int h = 0, mi = 0, s = 0;
  if (text.size() != 5 && text.size() != 8) return std::nullopt;
  if (!ParseFixedDigits(text, 0, 2, &h) || text[2] != ':' || !ParseFixedDigits(text, 3, 2, &mi)) {
    return std::nullopt;
  }
  if (text.size() == 8 && (text[5] != ':' || !ParseFixedDigits(text, 6, 2, &s))) {
    return std::nullopt;
  }
  if (h > 23 || mi > 59 || s > 59) return std::nullopt;
  return h * 3600 + mi * 60 + s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Currency> ParseCurrency(std::string_view text) {
  bool negative = false;
  std::string_view whole, fraction;
  if (!SplitNumber(text, &negative, &whole, &fraction) || fraction.size() > 4) return std::nullopt;
  // One past the largest magnitude: 2^63 allows the most negative currency.
  const U128 limit = (static_cast<U128>(1) << 63) + 1;
  U128 v = 0;
  if (!AccumulateDigits(whole, limit, &v)) return std::nullopt;
  for (std::size_t i = 0; i < 4; ++i) {
    v = v * 10 + (i < fraction.size() ? static_cast<unsigned>(fraction[i] - '0') : 0);
    if (v >= limit) return std::nullopt;
  }
  if (!negative && v > static_cast<U128>(std::numeric_limits<std::int64_t>::max())) {
    return std::nullopt;
  }
  Currency c;
  c.scaled =
      negative ? static_cast<std::int64_t>(-static_cast<I128>(v)) : static_cast<std::int64_t>(v);
  return c;
}

std::string FormatCurrencyText(Currency value) {
  const bool negative = value.scaled < 0;
  U128 mag = negative ? static_cast<U128>(-static_cast<I128>(value.scaled))
                      : static_cast<U128>(value.scaled);
  std::string out = (negative ? "-" : "") + U128ToText(mag / 10000);
  unsigned frac = static_cast<unsigned>(mag % 10000);
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", frac);
    std::string f(buf);
    while (f.back() == '0') f.pop_back();
    out += "." + f;
  }
  return out;
}

std::optional<Decimal> ParseDecimal(std::string_view text) {
  bool negative = false;
  std::string_view whole, fraction;
  if (!SplitNumber(text, &negative, &whole, &fraction) || fraction.size() > 28) {
    return std::nullopt;
  }
  U128 v = 0;
  if (!AccumulateDigits(whole, kDecimalLimit, &v) ||
      !AccumulateDigits(fraction, kDecimalLimit, &v)) {
    return std::nullopt;
  }
  Decimal d;
  d.hi32 = static_cast<std::uint32_t>(v >> 64);
  d.lo64 = static_cast<std::uint64_t>(v);
  d.scale = static_cast<std::uint8_t>(fraction.size());
  d.negative = negative;
  return d;
}

std::string FormatDecimalText(const Decimal& value) {
  std::string digits = U128ToText(DecimalMagnitude(value));
  if (value.scale > 0) {
    if (digits.size() <= value.scale) digits.insert(0, value.scale + 1 - digits.size(), '0');
    digits.insert(digits.size() - value.scale, ".");
  }
  return (value.negative ? "-" : "") + digits;
}

Decimal NormalizeDecimal(const Decimal& value) {
  U128 mag = DecimalMagnitude(value);
  std::uint8_t scale = value.scale;
  while (scale > 0 && mag % 10 == 0) {
    mag /= 10;
    --scale;
  }
  Decimal d;
  d.hi32 = static_cast<std::uint32_t>(mag >> 64);
  d.lo64 = static_cast<std::uint64_t>(mag);
  d.scale = mag == 0 ? 0 : scale;
  d.negative = mag == 0 ? false : value.negative;
  return d;
}

std::optional<Date> ParseDate(std::string_view text) {
  std::int64_t day = 0;
  int seconds = 0;
  if (text.size() >= 10 && text[4] == '-') {
    int y = 0, m = 0, d = 0;
    if (!ParseFixedDigits(text, 0, 4, &y) || text[7] != '-' || !ParseFixedDigits(text, 5, 2, &m) ||
        !ParseFixedDigits(text, 8, 2, &d)) {
      return std::nullopt;
    }
    if (y < 100 || m < 1 || m > 12 || d < 1) return std::nullopt;
    static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kMonthDays[m - 1] || (m == 2 && d == 29 && !leap)) return std::nullopt;
    day = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kOleEpoch;
    if (text.size() > 10) {
      if (text[10] != ' ' && text[10] != 'T') return std::nullopt;
      std::optional<int> t = ParseTime(text.substr(11));
      if (!t) return std::nullopt;
      seconds = *t;
    }
  } else {
    std::optional<int> t = ParseTime(text);
    if (!t) return std::nullopt;
    seconds = *t;
  }
  // Before day 0 the automation date counts the day backwards but the time
  // forwards: 1899-12-29 06:00 is -1.25.
  const double fraction = seconds / 86400.0;
  Date out;
  out.days = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
  return out;
}

std::string FormatDateText(Date value) {
  if (!std::isfinite(value.days)) return "invalid date";
  const double whole = std::trunc(value.days);
  std::int64_t day = static_cast<std::int64_t>(whole);
  std::int64_t seconds = std::llround(std::fabs(value.days - whole) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    day += value.days >= 0 ? 1 : -1;
  }
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(day + kOleEpoch, &y, &m, &d);
  char buf[64];
  if (seconds == 0) {
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  } else {
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y), m,
                  d, static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
  }
  return buf;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<std::uint8_t> out;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      if (high >= 0) return std::nullopt;  // a blank inside a pair
      continue;
    }
    int v = HexDigit(c);
    if (v < 0) return std::nullopt;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

std::string FormatHexBytes(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += ' ';
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  return out;
}

}  // namespace keystrel::conformance
