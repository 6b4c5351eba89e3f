#include "tools/keystrel/grant_rights.h"

#include <array>

#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

struct Right {
  std::u16string_view name;
  std::uint32_t bits;
};

// Sets first: DescribeRights names a whole set before single rights.
constexpr std::array<Right, 4> kSets = {{
    {u"KEY_ALL_ACCESS", 0xF003F},
    {u"KEY_READ", 0x20019},
    {u"KEY_WRITE", 0x20006},
    {u"KEY_EXECUTE", 0x20019},
}};

constexpr std::array<Right, 6> kSingle = {{
    {u"KEY_QUERY_VALUE", 0x0001},
    {u"KEY_SET_VALUE", 0x0002},
    {u"KEY_CREATE_SUB_KEY", 0x0004},
    {u"KEY_ENUMERATE_SUB_KEYS", 0x0008},
    {u"KEY_NOTIFY", 0x0010},
    {u"KEY_CREATE_LINK", 0x0020},
}};

bool ParseNumber(std::u16string_view text, std::uint32_t* value) {
  int base = 10;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t v = 0;
  for (char16_t c : text) {
    int d = -1;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    if (base == 16 && c >= u'a' && c <= u'f') d = c - u'a' + 10;
    if (base == 16 && c >= u'A' && c <= u'F') d = c - u'A' + 10;
    if (d < 0) return false;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (v > 0xFFFFFFFFu) return false;
  }
  *value = static_cast<std::uint32_t>(v);
  return true;
}

bool ParseName(std::u16string_view name, std::uint32_t* bits) {
  if (EqualsIgnoreCase(name, u"NONE")) {
    *bits = 0;
    return true;
  }
  if (EqualsIgnoreCase(name, u"ALL") || EqualsIgnoreCase(name, u"FULL")) {
    *bits = 0xF003F;
    return true;
  }
  const auto matches = [&](std::u16string_view full) {
    return EqualsIgnoreCase(name, full) || EqualsIgnoreCase(name, full.substr(4));
  };
  for (const Right& r : kSets) {
    if (matches(r.name)) return (*bits = r.bits), true;
  }
  for (const Right& r : kSingle) {
    if (matches(r.name)) return (*bits = r.bits), true;
  }
  return false;
}

}  // namespace

bool ParseRights(std::u16string_view text, std::uint32_t* rights) {
  std::uint32_t total = 0;
  bool any = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(u"|,", start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view part = text.substr(start, end - start);
    while (!part.empty() && part.front() == u' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == u' ') part.remove_suffix(1);
    std::uint32_t bits = 0;
    if (part.empty() || (!ParseNumber(part, &bits) && !ParseName(part, &bits))) return false;
    total |= bits;
    any = true;
    start = end + 1;
  }
  if (!any) return false;
  *rights = total;
  return true;
}

std::u16string FormatRightsNumber(std::uint32_t rights) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string digits;
  do {
    digits.insert(digits.begin(), kDigits[rights & 0xF]);
    rights >>= 4;
  } while (rights != 0);
  return u"0x" + digits;
}

std::u16string DescribeRights(std::uint32_t rights) {
  if (rights == 0) return u"(none)";
  for (const Right& r : kSets) {
    if (r.bits == rights) return std::u16string(r.name);
  }
  std::u16string out;
  std::uint32_t left = rights;
  for (const Right& r : kSingle) {
    if ((rights & r.bits) == 0) continue;
    if (!out.empty()) out += u" | ";
    out += r.name;
    left &= ~r.bits;
  }
  if (left != 0) {
    if (!out.empty()) out += u" | ";
    out += FormatRightsNumber(left);
  }
  return out;
}

}  // namespace keystrel::cli
