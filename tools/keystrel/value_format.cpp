#include "tools/keystrel/value_format.h"

#include <algorithm>
#include <array>

#include "tools/keystrel/reg_file.h"
#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

struct TypeEntry {
  std::u16string_view name;
  std::uint32_t type;
};

constexpr std::array<TypeEntry, 13> kTypes = {{
    {u"REG_NONE", kRegNone},
    {u"REG_SZ", kRegSz},
    {u"REG_EXPAND_SZ", kRegExpandSz},
    {u"REG_BINARY", kRegBinary},
    {u"REG_DWORD", kRegDword},
    {u"REG_DWORD_BIG_ENDIAN", kRegDwordBigEndian},
    {u"REG_LINK", kRegLink},
    {u"REG_MULTI_SZ", kRegMultiSz},
    {u"REG_RESOURCE_LIST", kRegResourceList},
    {u"REG_FULL_RESOURCE_DESCRIPTOR", kRegFullResourceDescriptor},
    {u"REG_RESOURCE_REQUIREMENTS_LIST", kRegResourceRequirementsList},
    {u"REG_QWORD", kRegQword},
    {u"REG_DWORD_LITTLE_ENDIAN", kRegDword},
}};

void AppendHexNumber(std::uint64_t v, std::u16string* out) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  char16_t buf[16];
  int n = 0;
  do {
    buf[n++] = kDigits[v & 0xF];
    v >>= 4;
  } while (v != 0);
  out->append(u"0x");
  while (n > 0) out->push_back(buf[--n]);
}

std::u16string UpperHex(std::span<const std::uint8_t> data) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  out.reserve(data.size() * 2);
  for (std::uint8_t b : data) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

Status NumericError() {
  return Status::Fail("Invalid syntax. Specify valid numeric value for '/d'.");
}

// Decimal (leading zeros allowed) or 0x hex, as reg.exe reads /d numbers.
bool ParseUnsigned(std::u16string_view text, std::uint64_t max, std::uint64_t* value) {
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
    if (v > (max - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) return false;
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  *value = v;
  return true;
}

void AppendLittleEndian(std::uint64_t v, int bytes, std::vector<std::uint8_t>* out) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Status ParseMultiString(const std::u16string& data, std::optional<char16_t> separator,
                        std::vector<std::uint8_t>* out) {
  std::vector<std::u16string> items;
  if (separator.has_value()) {
    size_t start = 0;
    for (;;) {
      const size_t end = data.find(*separator, start);
      items.push_back(data.substr(start, end - start));
      if (end == std::u16string::npos) break;
      start = end + 1;
    }
  } else {
    size_t start = 0;
    for (;;) {
      const size_t end = data.find(u"\\0", start);
      items.push_back(data.substr(start, end - start));
      if (end == std::u16string::npos) break;
      start = end + 2;
    }
  }
  // "a\0" ends with a separator; a lone separator stands for the empty list.
  if (items.size() > 1 && items.back().empty()) items.pop_back();
  if (items.size() == 1 && items[0].empty() && !data.empty()) items.clear();
  std::u16string text;
  for (const std::u16string& item : items) {
    if (item.empty()) {
      return Status::Fail("Invalid syntax. REG_MULTI_SZ data cannot hold an empty string.");
    }
    text += item;
    text.push_back(u'\0');
  }
  if (text.empty() && !data.empty()) text.push_back(u'\0');
  *out = ToUtf16Bytes(text, true);
  return Status::Ok();
}

}  // namespace

std::u16string_view TypeName(std::uint32_t type) {
  for (const TypeEntry& entry : kTypes) {
    if (entry.type == type) return entry.name;
  }
  return u"REG_UNKNOWN";
}

std::optional<std::uint32_t> ParseTypeName(std::u16string_view name) {
  for (const TypeEntry& entry : kTypes) {
    if (EqualsIgnoreCase(name, entry.name)) return entry.type;
  }
  return std::nullopt;
}

std::u16string FormatData(std::uint32_t type, std::span<const std::uint8_t> data,
                          std::u16string_view separator) {
  std::u16string out;
  switch (type) {
    case kRegSz:
    case kRegExpandSz: {
      out = FromUtf16Bytes(data);
      const size_t nul = out.find(u'\0');
      if (nul != std::u16string::npos) out.resize(nul);
      return out;
    }
    case kRegMultiSz: {
      const std::u16string text = FromUtf16Bytes(data);
      size_t start = 0;
      bool first = true;
      while (start < text.size()) {
        size_t end = text.find(u'\0', start);
        if (end == std::u16string::npos) end = text.size();
        if (end == start) break;  // the empty string that ends the list
        if (!first) out += separator;
        out.append(text, start, end - start);
        first = false;
        start = end + 1;
      }
      return out;
    }
    case kRegDword:
    case kRegDwordBigEndian:
      if (data.size() == 4) {
        const std::uint32_t v =
            type == kRegDword
                ? data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint32_t{data[3]} << 24)
                : data[3] | (data[2] << 8) | (data[1] << 16) | (std::uint32_t{data[0]} << 24);
        AppendHexNumber(v, &out);
        return out;
      }
      return UpperHex(data);
    case kRegQword:
      if (data.size() == 8) {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | data[static_cast<size_t>(i)];
        AppendHexNumber(v, &out);
        return out;
      }
      return UpperHex(data);
    default:
      return UpperHex(data);
  }
}

Status ParseAddData(std::uint32_t type, const std::u16string* data,
                    std::optional<char16_t> separator, std::vector<std::uint8_t>* out) {
  out->clear();
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      *out = ToUtf16Bytes(data != nullptr ? *data : u"", true);
      return Status::Ok();
    case kRegMultiSz:
      if (data == nullptr || data->empty()) {
        *out = ToUtf16Bytes(u"", true);
        return Status::Ok();
      }
      return ParseMultiString(*data, separator, out);
    case kRegDword:
    case kRegDwordBigEndian: {
      std::uint64_t v = 0;
      if (data == nullptr || !ParseUnsigned(*data, 0xFFFFFFFFu, &v)) return NumericError();
      AppendLittleEndian(v, 4, out);
      if (type == kRegDwordBigEndian) std::reverse(out->begin(), out->end());
      return Status::Ok();
    }
    case kRegQword: {
      std::uint64_t v = 0;
      if (data != nullptr) {
        std::u16string_view text = *data;
        const bool negative = text.starts_with(u'-');
        if (negative) text.remove_prefix(1);
        // reg.exe takes -1 for all ones; a negative hex number it refuses.
        if ((negative && text.starts_with(u"0")) ||
            !ParseUnsigned(text, negative ? (std::uint64_t{1} << 63) : ~std::uint64_t{0}, &v)) {
          return NumericError();
        }
        if (negative) v = ~v + 1;
      }
      AppendLittleEndian(v, 8, out);
      return Status::Ok();
    }
    case kRegNone:
      *out = ToUtf16Bytes(data != nullptr ? *data : u"", true);
      return Status::Ok();
    case kRegLink:
      *out = ToUtf16Bytes(data != nullptr ? *data : u"", false);
      return Status::Ok();
    default: {
      // REG_BINARY and the resource types: hex digits, an odd count padded in front.
      if (data == nullptr) return Status::Ok();
      std::u16string digits = *data;
      if (digits.size() % 2 != 0) digits.insert(digits.begin(), u'0');
      for (size_t i = 0; i < digits.size(); i += 2) {
        int hi = -1, lo = -1;
        for (int k = 0; k < 2; ++k) {
          const char16_t c = digits[i + static_cast<size_t>(k)];
          int d = -1;
          if (c >= u'0' && c <= u'9') d = c - u'0';
          if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
          if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
          (k == 0 ? hi : lo) = d;
        }
        if (hi < 0 || lo < 0) {
          return Status::Fail("Invalid syntax. Specify valid hexadecimal value for '/d'.");
        }
        out->push_back(static_cast<std::uint8_t>(hi * 16 + lo));
      }
      return Status::Ok();
    }
  }
}

}  // namespace keystrel::cli
