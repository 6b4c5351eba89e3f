// The runtime's conversions for US English. Every number that passes through
// text is held as a decimal digit string with a power of ten (DecimalText),
// so text, currency and decimal conversions stay exact and round once, half to
// even, the way the runtime rounds.
#include "frame/convert.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/safe_array.h"

namespace keystrel {
namespace {

// ---------------------------------------------------------------------------
// Numbers as decimal digits

// value = (negative ? -1 : 1) * digits * 10^pwr10; digits has no leading
// zeros and is "0" for zero.
struct DecimalText {
  bool negative = false;
  std::string digits = "0";
  int pwr10 = 0;
};

enum class Status { kOk, kMismatch, kOverflow };

[[noreturn]] void Raise(Status s) {
  RaiseError(s == Status::kOverflow ? rt::kOverflow : rt::kTypeMismatch);
}

void Normalize(DecimalText& t) {
  const auto first = t.digits.find_first_not_of('0');
  if (first == std::string::npos) {
    t.digits = "0";
    t.pwr10 = 0;
    t.negative = false;
    return;
  }
  t.digits.erase(0, first);
  const auto last = t.digits.find_last_not_of('0');
  t.pwr10 += static_cast<int>(t.digits.size() - 1 - last);
  t.digits.erase(last + 1);
}

// The integer nearest to `t * 10^shift`, ties to even; false when it does
// not fit in 64 signed bits.
bool RoundToInt64(const DecimalText& t, int shift, std::int64_t* out) {
  const long long p = static_cast<long long>(t.pwr10) + shift;
  const long long n = static_cast<long long>(t.digits.size());
  if (t.digits == "0") {
    *out = 0;
    return true;
  }
  if (p + n > 19) return false;
  if (p + n < 0) {  // below 0.1: rounds to zero
    *out = 0;
    return true;
  }
  std::uint64_t whole = 0;
  const long long whole_digits = p >= 0 ? n : std::max(0LL, n + p);
  for (long long i = 0; i < whole_digits; ++i) whole = whole * 10 + (t.digits[i] - '0');
  for (long long i = 0; i < p; ++i) {
    if (whole > std::numeric_limits<std::uint64_t>::max() / 10) return false;
    whole *= 10;
  }
  if (p < 0) {
    // Fractional digits decide the rounding: above, below or exactly half.
    const std::string frac = n + p >= 0 ? t.digits.substr(static_cast<std::size_t>(n + p))
                                        : std::string(static_cast<std::size_t>(-(n + p)), '0') +
                                              t.digits;
    bool up = false;
    if (!frac.empty() && frac[0] > '5') {
      up = true;
    } else if (!frac.empty() && frac[0] == '5') {
      const bool more = frac.find_first_not_of('0', 1) != std::string::npos;
      up = more || (whole & 1) != 0;
    }
    if (up) ++whole;
  }
  const std::uint64_t limit =
      t.negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  if (whole > limit) return false;
  *out = t.negative ? static_cast<std::int64_t>(0 - whole) : static_cast<std::int64_t>(whole);
  return true;
}

// Correctly rounded; values too small for a double become 0, as the runtime
// ignores underflow.
Status ToDoubleValue(const DecimalText& t, double* out) {
  if (t.digits == "0") {
    *out = 0;
    return Status::kOk;
  }
  const long long magnitude = static_cast<long long>(t.pwr10) + t.digits.size();
  if (magnitude > 400) return Status::kOverflow;
  if (magnitude < -400) {
    *out = 0;
    return Status::kOk;
  }
  std::string text = t.digits + "e" + std::to_string(t.pwr10);
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    if (magnitude > 0) return Status::kOverflow;
    v = 0;
  } else if (r.ec != std::errc()) {
    return Status::kMismatch;
  }
  *out = t.negative ? -v : v;
  return Status::kOk;
}

// A double as the runtime sees it when it needs its digits: 15 significant
// digits (7 for a single), so 0.1 is 0.1 and not its binary expansion.
DecimalText TextOfDouble(double v, int significant) {
  DecimalText t;
  if (v == 0 || !std::isfinite(v)) return t;
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific,
                               significant - 1);
  std::string s(buf, r.ptr);
  const auto e = s.find('e');
  std::string mantissa = s.substr(0, e);
  const int exponent = std::stoi(s.substr(e + 1));
  mantissa.erase(std::remove(mantissa.begin(), mantissa.end(), '.'), mantissa.end());
  t.negative = v < 0;
  t.digits = mantissa;
  t.pwr10 = exponent - static_cast<int>(mantissa.size()) + 1;
  Normalize(t);
  return t;
}

// ---------------------------------------------------------------------------
// Decimal: 96-bit magnitude in three 32-bit limbs (no 128-bit integer on the
// 32-bit Windows build).

constexpr int kMaxDecimalScale = 28;

struct U96 {
  std::uint32_t w[3] = {0, 0, 0};  // most significant first
  bool zero() const { return (w[0] | w[1] | w[2]) == 0; }
  bool MulAdd(std::uint32_t mul, std::uint32_t add) {
    std::uint64_t carry = add;
    for (int i = 2; i >= 0; --i) {
      const std::uint64_t cur = static_cast<std::uint64_t>(w[i]) * mul + carry;
      w[i] = static_cast<std::uint32_t>(cur);
      carry = cur >> 32;
    }
    return carry == 0;
  }
  std::uint32_t DivMod(std::uint32_t div) {
    std::uint64_t rem = 0;
    for (int i = 0; i < 3; ++i) {
      const std::uint64_t cur = (rem << 32) | w[i];
      w[i] = static_cast<std::uint32_t>(cur / div);
      rem = cur % div;
    }
    return static_cast<std::uint32_t>(rem);
  }
};

U96 MagnitudeOf(const Decimal& d) {
  U96 m;
  m.w[0] = d.hi32;
  m.w[1] = static_cast<std::uint32_t>(d.lo64 >> 32);
  m.w[2] = static_cast<std::uint32_t>(d.lo64);
  return m;
}

DecimalText TextOfDecimal(const Decimal& d) {
  U96 m = MagnitudeOf(d);
  std::string digits;
  while (!m.zero()) digits.insert(digits.begin(), static_cast<char>('0' + m.DivMod(10)));
  DecimalText t;
  if (digits.empty()) return t;
  t.digits = digits;
  t.pwr10 = -static_cast<int>(d.scale);
  t.negative = d.negative;
  Normalize(t);
  return t;
}

// Rounds away the digits a decimal cannot hold (more than 28 places, or more
// than 96 bits), ties to even.
Status DecimalOfText(DecimalText t, Decimal* out) {
  *out = Decimal{};
  if (t.digits == "0") return Status::kOk;
  // Drop digits below the 28th decimal place.
  auto drop = [&](std::size_t count) {
    if (count >= t.digits.size() + 1) {
      t.digits = "0";
      t.pwr10 = 0;
      return;
    }
    const std::string kept = t.digits.substr(0, t.digits.size() - count);
    const std::string gone = t.digits.substr(t.digits.size() - count);
    std::string rounded = kept.empty() ? "0" : kept;
    bool up = false;
    if (gone[0] > '5') {
      up = true;
    } else if (gone[0] == '5') {
      up = gone.find_first_not_of('0', 1) != std::string::npos ||
           ((rounded.back() - '0') & 1) != 0;
    }
    if (up) {
      int i = static_cast<int>(rounded.size()) - 1;
      while (i >= 0 && rounded[i] == '9') rounded[i--] = '0';
      if (i < 0) {
        rounded.insert(rounded.begin(), '1');
      } else {
        ++rounded[i];
      }
    }
    t.digits = rounded;
    t.pwr10 += static_cast<int>(count);
  };
  if (t.pwr10 < -kMaxDecimalScale) {
    drop(static_cast<std::size_t>(-kMaxDecimalScale - t.pwr10));
    Normalize(t);
    if (t.digits == "0") return Status::kOk;
  }
  for (;;) {
    U96 m;
    bool fits = true;
    for (char c : t.digits) {
      if (!m.MulAdd(10, static_cast<std::uint32_t>(c - '0'))) {
        fits = false;
        break;
      }
    }
    for (int i = 0; fits && i < t.pwr10; ++i) fits = m.MulAdd(10, 0);
    if (fits) {
      out->hi32 = m.w[0];
      out->lo64 = (static_cast<std::uint64_t>(m.w[1]) << 32) | m.w[2];
      out->scale = static_cast<std::uint8_t>(t.pwr10 < 0 ? -t.pwr10 : 0);
      out->negative = t.negative;
      return Status::kOk;
    }
    // Too many digits: give up a decimal place if there is one to give.
    if (t.pwr10 >= 0) return Status::kOverflow;
    drop(1);
    Normalize(t);
  }
}

// ---------------------------------------------------------------------------
// Parsing text as a number

bool IsBlank(char16_t c) {
  return c == u' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

struct ParsedNumber {
  DecimalText text;       // decimal numbers
  bool radix = false;     // &H / &O numbers
  bool radix_overflow = false;
  std::uint64_t bits = 0;
};

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The runtime's number syntax: blanks, a sign (leading or trailing),
// parentheses for negative numbers, a currency sign, thousands separators
// anywhere among the digits (but not before the first), one decimal point,
// an exponent "E[+|-]digits", or the &H / &O prefix. All of the text must be
// used.
bool ParseNumberText(UStringView s, ParsedNumber* out) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  bool lead_plus = false, lead_minus = false, currency = false, parens = false;
  bool negative = false, decimal = false, any_digit = false;
  DecimalText& t = out->text;
  t.digits.clear();

  while (i < n) {
    const char16_t c = s[i];
    if (c == u'.') {
      decimal = true;
      ++i;
      break;
    } else if (IsBlank(c)) {
      ++i;
    } else if (c == u',') {
      return false;
    } else if (c == u'+' && !lead_plus) {
      lead_plus = true;
      ++i;
    } else if (c == u'-' && !lead_minus) {
      lead_minus = negative = true;
      ++i;
    } else if (c == u'$' && !currency) {
      currency = true;
      ++i;
    } else if (c == u'(' && !parens) {
      parens = true;
      ++i;
    } else {
      break;
    }
  }

  int shift = 0;  // bits per digit in &H / &O numbers
  if (!currency && !decimal && i + 1 < n && s[i] == u'&') {
    const char16_t k = s[i + 1];
    if (k == u'H' || k == u'h') shift = 4;
    if (k == u'O' || k == u'o') shift = 3;
    if (shift) i += 2;
  }
  out->radix = shift != 0;

  bool exponent = false, exponent_sign = false, exponent_negative = false;
  bool exponent_digits = false;
  long long exponent_value = 0;
  while (i < n) {
    const char16_t c = s[i];
    if (shift) {
      const int d = HexDigit(c);
      if (d < 0 || d >= (1 << shift)) break;
      if (out->bits >> (64 - shift)) out->radix_overflow = true;
      out->bits = (out->bits << shift) | static_cast<unsigned>(d);
      any_digit = true;
    } else if (c >= u'0' && c <= u'9') {
      if (exponent) {
        exponent_digits = true;
        exponent_value = std::min(exponent_value * 10 + (c - u'0'), 1000000LL);
      } else {
        any_digit = true;
        if (!(t.digits.empty() && c == u'0')) t.digits.push_back(static_cast<char>(c));
        if (decimal) --t.pwr10;
      }
    } else if (exponent) {
      if ((c == u'+' || c == u'-') && !exponent_sign && !exponent_digits) {
        exponent_sign = true;
        exponent_negative = c == u'-';
      } else {
        break;
      }
    } else if (c == u',') {
      // thousands separator: carries no value
    } else if (c == u'.' && !decimal) {
      decimal = true;
    } else if ((c == u'e' || c == u'E') && !currency && any_digit) {
      exponent = true;
    } else {
      break;
    }
    ++i;
  }
  if (!any_digit || (exponent && !exponent_digits)) return false;

  bool trail_plus = false, trail_minus = false, closed = false;
  while (i < n) {
    const char16_t c = s[i];
    if (c == u',' && !shift) {
      ++i;
    } else if (IsBlank(c)) {
      ++i;
    } else if (c == u'+' && !lead_plus && !trail_plus) {
      trail_plus = true;
      ++i;
    } else if (c == u'-' && !lead_minus && !trail_minus) {
      trail_minus = negative = true;
      ++i;
    } else if (c == u')' && parens && !closed) {
      closed = negative = true;
      ++i;
    } else if (c == u'$' && !currency && !shift) {
      currency = true;
      ++i;
    } else {
      break;
    }
  }
  if (i != n || parens != closed) return false;

  if (t.digits.empty()) t.digits = "0";
  t.pwr10 += static_cast<int>(exponent_negative ? -exponent_value : exponent_value);
  t.negative = negative;
  Normalize(t);
  // &H / &O numbers keep their sign here; their value is read per target.
  t.negative = negative;
  return true;
}

// An &H / &O number read as a target of `width` bits: it must fit in that many
// bits and is then taken as two's complement ("&HFFFF" is -1 as an Integer,
// 65535 as a Long). Targets wider than 32 bits read it as a Long.
Status RadixValue(const ParsedNumber& p, int width, std::int64_t* out) {
  const int bits = width > 32 ? 32 : width;
  if (p.radix_overflow || (p.bits >> bits) != 0) return Status::kOverflow;
  std::int64_t v;
  if (width == 8) {
    v = static_cast<std::uint8_t>(p.bits);
  } else if (bits == 16) {
    v = static_cast<std::int16_t>(static_cast<std::uint16_t>(p.bits));
  } else {
    v = static_cast<std::int32_t>(static_cast<std::uint32_t>(p.bits));
  }
  *out = p.text.negative ? -v : v;
  return Status::kOk;
}

Status TextToDecimalText(UStringView s, DecimalText* out) {
  ParsedNumber p;
  if (!ParseNumberText(s, &p)) return Status::kMismatch;
  if (p.radix) {
    std::int64_t v = 0;
    const Status st = RadixValue(p, 64, &v);
    if (st != Status::kOk) return st;
    out->negative = v < 0;
    const std::uint64_t mag = v < 0 ? 0 - static_cast<std::uint64_t>(v) : v;
    out->digits = std::to_string(mag);
    out->pwr10 = 0;
    Normalize(*out);
    return Status::kOk;
  }
  *out = p.text;
  return Status::kOk;
}

// ---------------------------------------------------------------------------
// Dates

constexpr double kMinDateExclusive = -657435.0;  // before 1/1/100
constexpr double kMaxDateExclusive = 2958466.0;  // after 12/31/9999 23:59:59

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
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

struct DateParts {
  std::int64_t year;
  unsigned month, day;
  int seconds;  // of the day, rounded to the second
  std::int64_t day_number;  // days since 12/30/1899
};

// The date part counts whole days from 12/30/1899 and the fraction is the
// time of day whatever the sign, so -1.25 is 12/29/1899 6:00 AM.
bool SplitDate(double days, DateParts* out) {
  if (!(days > kMinDateExclusive && days < kMaxDateExclusive)) return false;
  double whole = std::trunc(days);
  double seconds = std::round(std::fabs(days - whole) * 86400.0);
  std::int64_t day_number = static_cast<std::int64_t>(whole);
  if (seconds >= 86400) {
    // The last second of 12/31/9999 has no next day to round into.
    if (day_number == static_cast<std::int64_t>(kMaxDateExclusive) - 1) {
      seconds = 86399;
    } else {
      seconds = 0;
      day_number += 1;
    }
  }
  out->day_number = day_number;
  out->seconds = static_cast<int>(seconds);
  CivilFromDays(day_number + kOleEpoch, &out->year, &out->month, &out->day);
  return true;
}

double JoinDate(std::int64_t day_number, int seconds) {
  const double time = seconds / 86400.0;
  return day_number < 0 ? static_cast<double>(day_number) - time
                        : static_cast<double>(day_number) + time;
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

constexpr std::array<const char16_t*, 12> kMonthNames = {
    u"january", u"february", u"march",     u"april",   u"may",      u"june",
    u"july",    u"august",   u"september", u"october", u"november", u"december"};
constexpr std::array<const char16_t*, 7> kDayNames = {
    u"sunday", u"monday", u"tuesday", u"wednesday", u"thursday", u"friday", u"saturday"};

// A full name or an abbreviation of at least three letters ("Feb", "Sept").
int MatchName(const UString& word, const char16_t* const* names, std::size_t count) {
  if (word.size() < 3) return -1;
  for (std::size_t i = 0; i < count; ++i) {
    const UStringView name(names[i]);
    if (word.size() <= name.size() && TextEquals(word, name.substr(0, word.size()))) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::int64_t CurrentYear() {
  const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  return static_cast<int>(std::chrono::year_month_day(today).year());
}

struct DateToken {
  enum Kind { kNumber, kWord, kColon, kOther } kind;
  std::int64_t value = 0;
  int width = 0;  // digits
  UString word;
};

bool TokenizeDate(UStringView s, std::vector<DateToken>* tokens) {
  std::size_t i = 0;
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c >= u'0' && c <= u'9') {
      DateToken t{DateToken::kNumber};
      while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
        if (t.width < 9) t.value = t.value * 10 + (s[i] - u'0');
        ++t.width;
        ++i;
      }
      tokens->push_back(t);
    } else if (TextFold(c) >= u'A' && TextFold(c) <= u'Z') {
      DateToken t{DateToken::kWord};
      while (i < s.size() && TextFold(s[i]) >= u'A' && TextFold(s[i]) <= u'Z') t.word += s[i++];
      tokens->push_back(t);
    } else if (c == u':') {
      tokens->push_back({DateToken::kColon});
      ++i;
    } else if (c == u'/' || c == u'-' || c == u'.' || c == u',' || IsBlank(c)) {
      ++i;  // separators between date parts carry no meaning of their own
    } else {
      return false;
    }
  }
  return true;
}

std::int64_t ExpandYear(const DateToken& t) {
  if (t.width <= 2) return t.value < 30 ? 2000 + t.value : 1900 + t.value;
  return t.value;
}

bool YearLike(const DateToken& t) { return t.width >= 3 || t.value > 31; }

// US English date and time text: "2/3/2001", "2001-02-03", "February 3, 2001",
// "3 Feb 2001", "4:05:06 AM", "16:05", "4 PM", and a date followed by a time.
bool ParseDateText(UStringView s, double* out) {
  std::vector<DateToken> tokens;
  if (!TokenizeDate(s, &tokens) || tokens.empty()) return false;
  std::vector<DateToken> numbers;
  int month = -1;
  bool has_time = false;
  int hour = 0, minute = 0, second = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const DateToken& t = tokens[i];
    const bool colon_next = i + 1 < tokens.size() && tokens[i + 1].kind == DateToken::kColon;
    const bool ampm_next = i + 1 < tokens.size() && tokens[i + 1].kind == DateToken::kWord &&
                           (TextEquals(tokens[i + 1].word, u"AM") ||
                            TextEquals(tokens[i + 1].word, u"PM") ||
                            TextEquals(tokens[i + 1].word, u"A") ||
                            TextEquals(tokens[i + 1].word, u"P"));
    if (t.kind == DateToken::kNumber && (colon_next || ampm_next)) {
      if (has_time) return false;
      has_time = true;
      hour = static_cast<int>(t.value);
      std::size_t j = i + 1;
      int* fields[] = {&minute, &second};
      for (int* field : fields) {
        if (j + 1 < tokens.size() && tokens[j].kind == DateToken::kColon &&
            tokens[j + 1].kind == DateToken::kNumber && tokens[j + 1].width <= 2) {
          *field = static_cast<int>(tokens[j + 1].value);
          j += 2;
        }
      }
      if (j < tokens.size() && tokens[j].kind == DateToken::kColon) return false;
      if (j < tokens.size() && tokens[j].kind == DateToken::kWord) {
        const UString& w = tokens[j].word;
        const bool am = TextEquals(w, u"AM") || TextEquals(w, u"A");
        const bool pm = TextEquals(w, u"PM") || TextEquals(w, u"P");
        if (am || pm) {
          if (hour < 1 || hour > 12) return false;
          hour = (hour % 12) + (pm ? 12 : 0);
          ++j;
        }
      }
      if (hour > 23 || minute > 59 || second > 59) return false;
      i = j - 1;
    } else if (t.kind == DateToken::kNumber) {
      numbers.push_back(t);
    } else if (t.kind == DateToken::kWord) {
      const int m = MatchName(t.word, kMonthNames.data(), kMonthNames.size());
      if (m >= 0 && month < 0) {
        month = m + 1;
      } else if (MatchName(t.word, kDayNames.data(), kDayNames.size()) < 0) {
        return false;
      }
    } else {
      return false;
    }
  }

  std::int64_t year = 0;
  unsigned mon = 0, day = 0;
  if (month > 0) {
    mon = static_cast<unsigned>(month);
    if (numbers.size() == 2) {
      const bool first_is_year = YearLike(numbers[0]) && !YearLike(numbers[1]);
      const DateToken& y = first_is_year ? numbers[0] : numbers[1];
      const DateToken& d = first_is_year ? numbers[1] : numbers[0];
      year = ExpandYear(y);
      day = static_cast<unsigned>(d.value);
    } else if (numbers.size() == 1) {
      if (YearLike(numbers[0])) {
        year = ExpandYear(numbers[0]);
        day = 1;
      } else {
        year = CurrentYear();
        day = static_cast<unsigned>(numbers[0].value);
      }
    } else {
      return false;
    }
  } else if (numbers.size() == 3) {
    if (YearLike(numbers[0])) {
      year = ExpandYear(numbers[0]);
      mon = static_cast<unsigned>(numbers[1].value);
      day = static_cast<unsigned>(numbers[2].value);
    } else {
      mon = static_cast<unsigned>(numbers[0].value);
      day = static_cast<unsigned>(numbers[1].value);
      year = ExpandYear(numbers[2]);
    }
    if (mon > 12 && day <= 12) std::swap(mon, day);
  } else if (numbers.size() == 2) {
    if (YearLike(numbers[1])) {
      mon = static_cast<unsigned>(numbers[0].value);
      year = ExpandYear(numbers[1]);
      day = 1;
    } else if (YearLike(numbers[0])) {
      year = ExpandYear(numbers[0]);
      mon = static_cast<unsigned>(numbers[1].value);
      day = 1;
    } else {
      mon = static_cast<unsigned>(numbers[0].value);
      day = static_cast<unsigned>(numbers[1].value);
      year = CurrentYear();
      if (mon > 12 && day <= 12) std::swap(mon, day);
    }
  } else if (numbers.empty() && has_time) {
    *out = JoinDate(0, hour * 3600 + minute * 60 + second);
    return true;
  } else {
    return false;
  }
  if (year < 100 || year > 9999 || mon < 1 || mon > 12 || day < 1 ||
      day > DaysInMonth(year, mon)) {
    return false;
  }
  const std::int64_t day_number = DaysFromCivil(year, mon, day) - kOleEpoch;
  *out = JoinDate(day_number, hour * 3600 + minute * 60 + second);
  return true;
}

// ---------------------------------------------------------------------------
// Rounding and ranges

// Round half to even, as the runtime does for every conversion to an integer.
double RoundHalfEven(double v) {
  const double fl = std::floor(v);
  const double diff = v - fl;
  if (diff > 0.5) return fl + 1;
  if (diff < 0.5) return fl;
  return std::fmod(fl, 2.0) == 0 ? fl : fl + 1;
}

std::int64_t CheckedRange(double v, std::int64_t lo, std::int64_t hi) {
  const double r = RoundHalfEven(v);
  if (!(r >= static_cast<double>(lo) && r <= static_cast<double>(hi))) {
    RaiseError(rt::kOverflow);
  }
  return static_cast<std::int64_t>(r);
}

std::int64_t CheckedRange(std::int64_t v, std::int64_t lo, std::int64_t hi) {
  if (v < lo || v > hi) RaiseError(rt::kOverflow);
  return v;
}

// Currency to the nearest integer, ties to even, exactly.
std::int64_t RoundCurrency(Currency c) {
  std::int64_t q = c.scaled / 10000;
  const std::int64_t r = c.scaled % 10000;
  const std::int64_t ar = r < 0 ? -r : r;
  if (ar > 5000 || (ar == 5000 && (q & 1) != 0)) q += r < 0 ? -1 : 1;
  return q;
}

// ---------------------------------------------------------------------------
// Objects and the value behind them

constexpr int kMaxDefaultDepth = 16;

// An object stands for the value of its default member; that value may itself
// be an object, so follow the chain a bounded number of steps.
const Variant& Resolve(const Variant& value, Variant& holder) {
  if (!value.is_object()) return value;
  const Variant* current = &value;
  for (int depth = 0; depth < kMaxDefaultDepth && current->is_object(); ++depth) {
    const Ref<Object>& obj = current->object();
    if (!obj) RaiseError(rt::kObjectVariableNotSet);
    Variant next = DefaultValue(*obj);
    holder = std::move(next);
    current = &holder;
  }
  if (current->is_object()) RaiseError(rt::kTypeMismatch);
  return *current;
}

// Errors, arrays and Null cannot become text or numbers.
[[noreturn]] void NotConvertible(const Variant& v) {
  if (v.is_null()) RaiseError(rt::kInvalidUseOfNull);
  RaiseError(rt::kTypeMismatch);
}

// The value as a number with its full precision, for the integer targets:
// `width` selects how &H / &O text is read.
std::int64_t ToInteger64(const Variant& value, int width, std::int64_t lo, std::int64_t hi) {
  Variant holder;
  const Variant& v = Resolve(value, holder);
  switch (v.type()) {
    case VarType::kEmpty: return 0;
    case VarType::kBoolean:
      // True is all bits set: -1, or 255 as a byte.
      if (width == 8) return v.bool_value() ? 255 : 0;
      return CheckedRange(std::int64_t{v.bool_value() ? -1 : 0}, lo, hi);
    case VarType::kByte: return CheckedRange(std::int64_t{v.byte_value()}, lo, hi);
    case VarType::kInteger: return CheckedRange(std::int64_t{v.integer_value()}, lo, hi);
    case VarType::kLong: return CheckedRange(std::int64_t{v.long_value()}, lo, hi);
    case VarType::kSingle: return CheckedRange(static_cast<double>(v.single_value()), lo, hi);
    case VarType::kDouble: return CheckedRange(v.double_value(), lo, hi);
    case VarType::kDate: return CheckedRange(v.date_value().days, lo, hi);
    case VarType::kCurrency: return CheckedRange(RoundCurrency(v.currency_value()), lo, hi);
    case VarType::kDecimal: {
      std::int64_t r = 0;
      if (!RoundToInt64(TextOfDecimal(v.decimal_value()), 0, &r)) RaiseError(rt::kOverflow);
      return CheckedRange(r, lo, hi);
    }
    case VarType::kString: {
      ParsedNumber p;
      if (!ParseNumberText(v.string(), &p)) RaiseError(rt::kTypeMismatch);
      std::int64_t r = 0;
      if (p.radix) {
        const Status st = RadixValue(p, width, &r);
        if (st != Status::kOk) Raise(st);
      } else if (!RoundToInt64(p.text, 0, &r)) {
        RaiseError(rt::kOverflow);
      }
      return CheckedRange(r, lo, hi);
    }
    default: NotConvertible(v);
  }
}

Decimal ToDecimalValue(const Variant& value) {
  Variant holder;
  const Variant& v = Resolve(value, holder);
  DecimalText t;
  switch (v.type()) {
    case VarType::kEmpty: break;
    case VarType::kBoolean:
      t.negative = v.bool_value();
      t.digits = v.bool_value() ? "1" : "0";
      break;
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong: {
      const std::int64_t x = ToInteger64(v, 32, INT32_MIN, INT32_MAX);
      t.negative = x < 0;
      t.digits = std::to_string(x < 0 ? -x : x);
      break;
    }
    case VarType::kSingle: t = TextOfDouble(v.single_value(), 7); break;
    case VarType::kDouble: t = TextOfDouble(v.double_value(), 15); break;
    case VarType::kDate: t = TextOfDouble(v.date_value().days, 15); break;
    case VarType::kCurrency: {
      const std::int64_t s = v.currency_value().scaled;
      t.negative = s < 0;
      t.digits = std::to_string(s < 0 ? 0 - static_cast<std::uint64_t>(s) : s);
      t.pwr10 = -4;
      break;
    }
    case VarType::kDecimal: return v.decimal_value();
    case VarType::kString: {
      const Status st = TextToDecimalText(v.string(), &t);
      if (st != Status::kOk) Raise(st);
      break;
    }
    default: NotConvertible(v);
  }
  if ((v.type() == VarType::kDouble && !std::isfinite(v.double_value())) ||
      (v.type() == VarType::kSingle && !std::isfinite(v.single_value()))) {
    RaiseError(rt::kOverflow);
  }
  Normalize(t);
  Decimal d;
  const Status st = DecimalOfText(t, &d);
  if (st != Status::kOk) Raise(st);
  return d;
}

UString Ascii(std::string_view s) { return UString(s.begin(), s.end()); }

}  // namespace

// ---------------------------------------------------------------------------
// Formatting

UString FormatDouble(double v) {
  if (std::isnan(v)) return u"-1.#IND";
  if (std::isinf(v)) return v < 0 ? u"-1.#INF" : u"1.#INF";
  if (v == 0) return u"0";  // also -0
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  UString out = Ascii(std::string_view(buf, r.ptr - buf));
  for (auto& c : out) {
    if (c == u'e') c = u'E';
  }
  return out;
}

UString FormatSingle(float v) {
  if (std::isnan(v)) return u"-1.#IND";
  if (std::isinf(v)) return v < 0 ? u"-1.#INF" : u"1.#INF";
  if (v == 0) return u"0";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 7);
  UString out = Ascii(std::string_view(buf, r.ptr - buf));
  for (auto& c : out) {
    if (c == u'e') c = u'E';
  }
  return out;
}

UString FormatCurrency(Currency v) {
  const bool negative = v.scaled < 0;
  const std::uint64_t mag =
      negative ? 0 - static_cast<std::uint64_t>(v.scaled) : static_cast<std::uint64_t>(v.scaled);
  std::string s = std::to_string(mag / 10000);
  std::string frac = std::to_string(mag % 10000);
  frac.insert(0, 4 - frac.size(), '0');
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  if (!frac.empty()) s += "." + frac;
  if (negative) s.insert(0, "-");
  return Ascii(s);
}

namespace {

UString FormatDecimal(const Decimal& d) {
  const DecimalText t = TextOfDecimal(d);
  std::string s;
  if (t.pwr10 >= 0) {
    s = t.digits + std::string(static_cast<std::size_t>(t.digits == "0" ? 0 : t.pwr10), '0');
  } else {
    const int point = static_cast<int>(t.digits.size()) + t.pwr10;
    if (point > 0) {
      s = t.digits.substr(0, static_cast<std::size_t>(point)) + "." +
          t.digits.substr(static_cast<std::size_t>(point));
    } else {
      s = "0." + std::string(static_cast<std::size_t>(-point), '0') + t.digits;
    }
  }
  if (t.negative) s.insert(0, "-");
  return Ascii(s);
}

}  // namespace

// The general date format of US English: "M/D/YYYY h:mm:ss AM"; the date
// alone at midnight, the time alone on day 0 (12/30/1899).
UString FormatDate(Date v) {
  DateParts p;
  if (!SplitDate(v.days, &p)) RaiseError(rt::kInvalidProcedureCall);
  std::string date = std::to_string(p.month) + "/" + std::to_string(p.day) + "/" +
                     std::to_string(p.year);
  const int h = p.seconds / 3600, m = p.seconds / 60 % 60, s = p.seconds % 60;
  char time[32];
  std::snprintf(time, sizeof time, "%d:%02d:%02d %s", h % 12 == 0 ? 12 : h % 12, m, s,
                h < 12 ? "AM" : "PM");
  if (p.day_number == 0) return Ascii(time);
  if (p.seconds == 0) return Ascii(date);
  return Ascii(date + " " + time);
}

bool ParseNumber(UStringView text, double* out) {
  DecimalText t;
  if (TextToDecimalText(text, &t) != Status::kOk) return false;
  double v = 0;
  if (ToDoubleValue(t, &v) != Status::kOk) return false;
  *out = v;
  return true;
}

bool IsNumeric(const Variant& value) {
  switch (value.type()) {
    case VarType::kEmpty:
    case VarType::kBoolean:
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kCurrency:
    case VarType::kDecimal:
      return true;
    case VarType::kString: {
      double unused = 0;
      return ParseNumber(value.string(), &unused);
    }
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// The To* conversions

UString ToText(const Variant& value) {
  Variant holder;
  const Variant& v = Resolve(value, holder);
  switch (v.type()) {
    case VarType::kEmpty: return UString();
    case VarType::kString: return v.string();
    case VarType::kBoolean: return v.bool_value() ? u"True" : u"False";
    case VarType::kByte: return Ascii(std::to_string(v.byte_value()));
    case VarType::kInteger: return Ascii(std::to_string(v.integer_value()));
    case VarType::kLong: return Ascii(std::to_string(v.long_value()));
    case VarType::kSingle: return FormatSingle(v.single_value());
    case VarType::kDouble: return FormatDouble(v.double_value());
    case VarType::kCurrency: return FormatCurrency(v.currency_value());
    case VarType::kDecimal: return FormatDecimal(v.decimal_value());
    case VarType::kDate: return FormatDate(v.date_value());
    default: break;
  }
  // A byte array reads as the UTF-16 text its bytes hold, the inverse of
  // assigning text to a byte array; an odd last byte is a character of its own.
  if (v.is_array() && v.array().element_type() == VarType::kByte) {
    const SafeArray& a = v.array();
    const std::vector<std::uint8_t> empty;
    const auto& b = a.has_storage() ? a.bytes() : empty;
    UString s;
    s.reserve((b.size() + 1) / 2);
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
      s.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
    }
    if (b.size() % 2) s.push_back(b.back());
    return s;
  }
  NotConvertible(v);
}

std::uint8_t ToByte(const Variant& value) {
  return static_cast<std::uint8_t>(ToInteger64(value, 8, 0, 255));
}

std::int16_t ToInteger(const Variant& value) {
  return static_cast<std::int16_t>(ToInteger64(value, 16, INT16_MIN, INT16_MAX));
}

std::int32_t ToLong(const Variant& value) {
  return static_cast<std::int32_t>(ToInteger64(value, 32, INT32_MIN, INT32_MAX));
}

double ToDouble(const Variant& value) {
  Variant holder;
  const Variant& v = Resolve(value, holder);
  switch (v.type()) {
    case VarType::kEmpty: return 0;
    case VarType::kBoolean: return v.bool_value() ? -1 : 0;
    case VarType::kByte: return v.byte_value();
    case VarType::kInteger: return v.integer_value();
    case VarType::kLong: return v.long_value();
    case VarType::kSingle: return v.single_value();
    case VarType::kDouble: return v.double_value();
    case VarType::kDate: return v.date_value().days;
    case VarType::kCurrency: return static_cast<double>(v.currency_value().scaled) / 10000.0;
    case VarType::kDecimal: {
      double d = 0;
      const Status st = ToDoubleValue(TextOfDecimal(v.decimal_value()), &d);
      if (st != Status::kOk) Raise(st);
      return d;
    }
    case VarType::kString: {
      DecimalText t;
      Status st = TextToDecimalText(v.string(), &t);
      if (st != Status::kOk) Raise(st);
      double d = 0;
      st = ToDoubleValue(t, &d);
      if (st != Status::kOk) Raise(st);
      return d;
    }
    default: NotConvertible(v);
  }
}

float ToSingle(const Variant& value) {
  const double d = ToDouble(value);
  if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) {
    RaiseError(rt::kOverflow);
  }
  return static_cast<float>(d);
}

Currency ToCurrency(const Variant& value) {
  Variant holder;
  const Variant& v = Resolve(value, holder);
  auto from_text = [](const DecimalText& t) {
    std::int64_t scaled = 0;
    if (!RoundToInt64(t, 4, &scaled)) RaiseError(rt::kOverflow);
    return Currency{scaled};
  };
  auto from_double = [](double d) {
    const double scaled = RoundHalfEven(d * 10000.0);
    // 2^63 is the first double past the range; the comparison also fails for NaN.
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) {
      RaiseError(rt::kOverflow);
    }
    return Currency{static_cast<std::int64_t>(scaled)};
  };
  switch (v.type()) {
    case VarType::kEmpty: return Currency{};
    case VarType::kCurrency: return v.currency_value();
    case VarType::kBoolean:
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong: return Currency{ToInteger64(v, 32, INT32_MIN, INT32_MAX) * 10000};
    case VarType::kSingle: return from_double(v.single_value());
    case VarType::kDouble: return from_double(v.double_value());
    case VarType::kDate: return from_double(v.date_value().days);
    case VarType::kDecimal: return from_text(TextOfDecimal(v.decimal_value()));
    case VarType::kString: {
      DecimalText t;
      const Status st = TextToDecimalText(v.string(), &t);
      if (st != Status::kOk) Raise(st);
      return from_text(t);
    }
    default: NotConvertible(v);
  }
}

Date ToDate(const Variant& value) {
  Variant holder;
  const Variant& v = Resolve(value, holder);
  double days = 0;
  switch (v.type()) {
    case VarType::kDate: return v.date_value();
    case VarType::kString:
      if (!ParseDateText(v.string(), &days)) RaiseError(rt::kTypeMismatch);
      return Date{days};
    case VarType::kEmpty:
    case VarType::kBoolean:
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kCurrency:
    case VarType::kDecimal:
      days = ToDouble(v);
      break;
    default: NotConvertible(v);
  }
  if (!(days > kMinDateExclusive && days < kMaxDateExclusive)) RaiseError(rt::kOverflow);
  return Date{days};
}

bool ToBool(const Variant& value) {
  Variant holder;
  const Variant& v = Resolve(value, holder);
  switch (v.type()) {
    case VarType::kEmpty: return false;
    case VarType::kBoolean: return v.bool_value();
    case VarType::kByte: return v.byte_value() != 0;
    case VarType::kInteger: return v.integer_value() != 0;
    case VarType::kLong: return v.long_value() != 0;
    case VarType::kSingle: return v.single_value() != 0;
    case VarType::kDouble: return v.double_value() != 0;
    case VarType::kDate: return v.date_value().days != 0;
    case VarType::kCurrency: return v.currency_value().scaled != 0;
    case VarType::kDecimal: return TextOfDecimal(v.decimal_value()).digits != "0";
    case VarType::kString: {
      // Surrounding blanks are forgiven, as they are for numbers.
      UStringView s = v.string();
      while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
      while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
      if (TextEquals(s, u"True")) return true;
      if (TextEquals(s, u"False")) return false;
      DecimalText t;
      const Status st = TextToDecimalText(v.string(), &t);
      if (st != Status::kOk) Raise(st);
      return t.digits != "0";
    }
    default: NotConvertible(v);
  }
}

std::vector<std::uint8_t> ToBytes(const Variant& value) {
  if (value.is_array() && value.array().element_type() == VarType::kByte) {
    const SafeArray& a = value.array();
    return a.has_storage() ? a.bytes() : std::vector<std::uint8_t>();
  }
  if (value.is_string()) {
    const UString& s = value.string();
    std::vector<std::uint8_t> out;
    out.reserve(s.size() * 2);
    for (char16_t c : s) {
      out.push_back(static_cast<std::uint8_t>(c & 0xFF));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
  }
  RaiseError(rt::kTypeMismatch);
}

Variant ChangeType(const Variant& value, VarType target) {
  if (target == VarType::kVariant) return value;
  if (IsArrayType(target)) {
    if (value.is_array() && value.array().element_type() == ElementType(target)) return value;
    if (target == (VarType::kArray | VarType::kByte) && value.is_string()) {
      const auto bytes = ToBytes(value);
      return Variant::Array(SafeArray::Bytes(bytes));
    }
    RaiseError(rt::kTypeMismatch);
  }
  switch (target) {
    case VarType::kEmpty:
      if (value.is_empty()) return value;
      break;
    case VarType::kNull:
      if (value.is_null()) return value;
      break;
    case VarType::kError:
      if (value.type() == VarType::kError) return value;
      break;
    case VarType::kObject:
      if (value.is_object()) return value;
      if (value.is_empty()) return Variant::Nothing();
      break;
    case VarType::kBoolean: return Variant::Boolean(ToBool(value));
    case VarType::kByte: return Variant::Byte(ToByte(value));
    case VarType::kInteger: return Variant::Integer(ToInteger(value));
    case VarType::kLong: return Variant::Long(ToLong(value));
    case VarType::kSingle: return Variant::Single(ToSingle(value));
    case VarType::kDouble: return Variant::Double(ToDouble(value));
    case VarType::kCurrency: return Variant::FromCurrency(ToCurrency(value));
    case VarType::kDate: return Variant::FromDate(ToDate(value));
    case VarType::kDecimal: return Variant::FromDecimal(ToDecimalValue(value));
    case VarType::kString:
      if (value.is_string()) return value;
      return Variant::String(ToText(value));
    case VarType::kVariant:
    case VarType::kArray: break;
  }
  RaiseError(rt::kTypeMismatch);
}

}  // namespace keystrel
