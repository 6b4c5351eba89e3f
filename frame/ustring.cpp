#include "frame/ustring.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

namespace keystrel {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Ranges where upper and lower case alternate: the first unit of each pair is
// the capital when `upper_even` matches the parity of `first`.
struct PairRange {
  char16_t first;
  char16_t last;
};

// Pairs whose capital is the even unit.
constexpr PairRange kEvenUpperPairs[] = {
    {0x0100, 0x012F}, {0x0132, 0x0137}, {0x014A, 0x0177}, {0x0182, 0x0185},
    {0x01A0, 0x01A5}, {0x01DE, 0x01EF}, {0x01F8, 0x021F}, {0x0222, 0x0233},
    {0x0246, 0x024F}, {0x03D8, 0x03EF}, {0x0460, 0x0481}, {0x048A, 0x04BF},
    {0x04D0, 0x052F}, {0x1E00, 0x1E95}, {0x1EA0, 0x1EFF},
};
// Pairs whose capital is the odd unit.
constexpr PairRange kOddUpperPairs[] = {
    {0x0139, 0x0148}, {0x0179, 0x017E}, {0x01B3, 0x01B6}, {0x01CD, 0x01DC},
    {0x04C1, 0x04CE},
};

// Blocks where the small letters sit at a fixed distance above the capitals:
// small letters first..last map to first - delta.
struct ShiftRange {
  char16_t first;
  char16_t last;
  char16_t delta;
};
constexpr ShiftRange kShiftRanges[] = {
    {0x0061, 0x007A, 0x20},  // Basic Latin
    {0x00E0, 0x00F6, 0x20},  // Latin-1
    {0x00F8, 0x00FE, 0x20},
    {0x03B1, 0x03C1, 0x20},  // Greek
    {0x03C3, 0x03CB, 0x20},
    {0x03AD, 0x03AF, 0x25},  // Greek with tonos
    {0x03CD, 0x03CE, 0x3F},
    {0x0430, 0x044F, 0x20},  // Cyrillic
    {0x0450, 0x045F, 0x50},
    {0x0561, 0x0586, 0x30},  // Armenian
    {0x2170, 0x217F, 0x10},  // small Roman numerals
    {0x24D0, 0x24E9, 0x1A},  // circled letters
    {0xFF41, 0xFF5A, 0x20},  // fullwidth Latin
};

// Single mappings that have a unique small form.
struct Single {
  char16_t small;
  char16_t capital;
};
constexpr Single kSingles[] = {
    {0x00FF, 0x0178}, {0x0180, 0x0243}, {0x0188, 0x0187}, {0x018C, 0x018B},
    {0x0192, 0x0191}, {0x0199, 0x0198}, {0x01A8, 0x01A7}, {0x01AD, 0x01AC},
    {0x01B0, 0x01AF}, {0x01B9, 0x01B8}, {0x01BD, 0x01BC}, {0x01C6, 0x01C4},
    {0x01C9, 0x01C7}, {0x01CC, 0x01CA}, {0x01F3, 0x01F1}, {0x01F5, 0x01F4},
    {0x0253, 0x0181}, {0x0254, 0x0186}, {0x0256, 0x0189}, {0x0257, 0x018A},
    {0x0259, 0x018F}, {0x025B, 0x0190}, {0x0260, 0x0193}, {0x0263, 0x0194},
    {0x0268, 0x0197}, {0x0269, 0x0196}, {0x026F, 0x019C}, {0x0272, 0x019D},
    {0x0275, 0x019F}, {0x0283, 0x01A9}, {0x0288, 0x01AE}, {0x028A, 0x01B1},
    {0x028B, 0x01B2}, {0x0292, 0x01B7}, {0x03AC, 0x0386}, {0x03CC, 0x038C},
    {0x04CF, 0x04C0},
};

// Small letters whose capital already has another small form (final sigma,
// dotless i, long s, Greek symbol variants, title-case digraphs). They fold
// one way only: lower-casing the capital gives the ordinary small letter.
constexpr Single kOneWay[] = {
    {0x0131, 0x0049}, {0x017F, 0x0053}, {0x03C2, 0x03A3}, {0x03D0, 0x0392},
    {0x03D1, 0x0398}, {0x03D5, 0x03A6}, {0x03D6, 0x03A0}, {0x03F0, 0x039A},
    {0x03F1, 0x03A1}, {0x03F5, 0x0395}, {0x01C5, 0x01C4}, {0x01C8, 0x01C7},
    {0x01CB, 0x01CA}, {0x01F2, 0x01F1}, {0x1E9B, 0x1E60},
};

struct CaseTables {
  std::array<char16_t, 0x10000> upper;
  std::array<char16_t, 0x10000> lower;
};

std::unique_ptr<CaseTables> BuildTables() {
  auto t = std::make_unique<CaseTables>();
  for (std::uint32_t c = 0; c < 0x10000; ++c) {
    t->upper[c] = static_cast<char16_t>(c);
    t->lower[c] = static_cast<char16_t>(c);
  }
  auto map = [&](char16_t small, char16_t capital) {
    t->upper[small] = capital;
    t->lower[capital] = small;
  };
  for (const auto& r : kShiftRanges) {
    for (std::uint32_t c = r.first; c <= r.last; ++c) {
      map(static_cast<char16_t>(c), static_cast<char16_t>(c - r.delta));
    }
  }
  for (const auto& r : kEvenUpperPairs) {
    for (std::uint32_t c = r.first; c < r.last; c += 2) {
      map(static_cast<char16_t>(c + 1), static_cast<char16_t>(c));
    }
  }
  for (const auto& r : kOddUpperPairs) {
    for (std::uint32_t c = r.first; c < r.last; c += 2) {
      map(static_cast<char16_t>(c + 1), static_cast<char16_t>(c));
    }
  }
  for (const auto& s : kSingles) map(s.small, s.capital);
  for (const auto& s : kOneWay) t->upper[s.small] = s.capital;
  // Greek extended: the eight-letter blocks with psili/dasia.
  for (std::uint32_t base : {0x1F00u, 0x1F10u, 0x1F20u, 0x1F30u, 0x1F40u, 0x1F60u}) {
    for (std::uint32_t c = base; c < base + 8; ++c) {
      if (base == 0x1F10 || base == 0x1F40) {
        if (c >= base + 6) continue;
      }
      map(static_cast<char16_t>(c), static_cast<char16_t>(c + 8));
    }
  }
  for (std::uint32_t c : {0x1F51u, 0x1F53u, 0x1F55u, 0x1F57u}) {
    map(static_cast<char16_t>(c), static_cast<char16_t>(c + 8));
  }
  return t;
}

const CaseTables& Tables() {
  static const std::unique_ptr<CaseTables> tables = BuildTables();
  return *tables;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(UString& out, std::uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
  }
}

}  // namespace

// Decodes with the "maximal subpart" rule: each ill-formed prefix becomes one
// U+FFFD and decoding resumes at the first byte that cannot continue it, so a
// truncated sequence never swallows the character after it.
UString Utf8ToU(std::string_view utf8) {
  UString out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = 0;
    std::uint32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;  // overlong
      if (b == 0xED) hi = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;  // overlong
      if (b == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
      const unsigned char lo_k = k == 0 ? lo : 0x80;
      const unsigned char hi_k = k == 0 ? hi : 0xBF;
      if (j >= n || p[j] < lo_k || p[j] > hi_k) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (p[j] & 0x3F);
    }
    if (ok) {
      AppendUtf16(out, cp);
    } else {
      out.push_back(kReplacement);
    }
    i = j;
  }
  return out;
}

std::string UToUtf8(UStringView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;  // a lone surrogate has no UTF-8 form
    }
    AppendUtf8(out, c);
  }
  return out;
}

char16_t TextFold(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  return Tables().upper[c];
}

UString TextUpper(UStringView text) {
  UString out(text);
  for (auto& c : out) c = TextFold(c);
  return out;
}

UString TextLower(UStringView text) {
  const auto& lower = Tables().lower;
  UString out(text);
  for (auto& c : out) c = lower[c];
  return out;
}

// Orders by folded code unit: stable and cheap, which is what keyed
// containers need; equality is what the library's comparisons rely on.
int TextCompare(UStringView a, UStringView b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const char16_t fa = TextFold(a[i]);
    const char16_t fb = TextFold(b[i]);
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t TextFind(UStringView haystack, UStringView needle, std::size_t start) {
  if (start > haystack.size()) return UString::npos;
  if (needle.size() > haystack.size() - start) return UString::npos;
  const std::size_t last = haystack.size() - needle.size();
  for (std::size_t i = start; i <= last; ++i) {
    std::size_t k = 0;
    while (k < needle.size() && TextFold(haystack[i + k]) == TextFold(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return UString::npos;
}

}  // namespace keystrel
