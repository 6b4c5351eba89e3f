#include "handler_c/internal/value_codec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "frame/convert.h"
#include "frame/error.h"
#include "frame/safe_array.h"
#include "platform/ansi.h"

namespace keystrel::handler_c_detail {
namespace {

constexpr DWORD kFirstReadSize = 1024;

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// String data normally ends with its terminator (one NUL; two for a
// multi-string). Only NULs that are really there are dropped: data stored
// without a terminator keeps its last characters instead of losing them.
std::span<const std::uint8_t> WithoutTerminator(std::span<const std::uint8_t> data,
                                                int terminator_nuls) {
  for (int i = 0; i < terminator_nuls && !data.empty() && data.back() == 0; ++i) {
    data = data.first(data.size() - 1);
  }
  return data;
}

UString TextOf(std::span<const std::uint8_t> data) { return FromAnsi(AsChars(data)); }

// The first four bytes, least significant first; a shorter value reads as if
// the missing high bytes were zero, as a fresh buffer holds them.
std::int32_t DoubleWordOf(std::span<const std::uint8_t> data) {
  std::uint8_t four[4] = {0, 0, 0, 0};
  if (!data.empty()) RtlMoveMemory(four, data.data(), std::min<std::size_t>(data.size(), 4));
  const std::uint32_t word = static_cast<std::uint32_t>(four[0]) |
                             (static_cast<std::uint32_t>(four[1]) << 8) |
                             (static_cast<std::uint32_t>(four[2]) << 16) |
                             (static_cast<std::uint32_t>(four[3]) << 24);
  return static_cast<std::int32_t>(word);
}

// Expands the environment references of `text` (the platform reads it as a C
// string, so up to its first NUL) and returns the result up to its
// terminating NUL. The ANSI function of Windows wants one byte more than it
// reports, hence the spare byte and the repeat when the text still did not
// fit (the environment may change between the two calls).
UString ExpandText(std::span<const std::uint8_t> text) {
  const std::string source(AsChars(text));
  DWORD needed = ExpandEnvironmentStringsA(source.c_str(), nullptr, 0);
  std::string dest;
  for (int attempt = 0; attempt < 4 && needed != 0; ++attempt) {
    dest.assign(static_cast<std::size_t>(needed) + 1, '\0');
    const DWORD got =
        ExpandEnvironmentStringsA(source.c_str(), dest.data(), static_cast<DWORD>(dest.size()));
    if (got != 0 && got <= dest.size()) {
      dest.resize(std::strlen(dest.c_str()));
      return FromAnsi(dest);
    }
    needed = got;
  }
  // The platform could not expand it: the stored text is the best answer.
  return FromAnsi(std::string_view(source.c_str()));
}

UString HexText(std::span<const std::uint8_t> data) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  UString out;
  out.reserve(data.size() * 3);
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i != 0) out.push_back(u' ');
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 0x0F]);
  }
  return out;
}

}  // namespace

KeyHandle::~KeyHandle() {
  if (key_ != nullptr) RegCloseKey(key_);
}

LONG KeyHandle::Open(HKEY parent, const std::string& path, REGSAM access) {
  HKEY opened = nullptr;
  const LONG rc = RegOpenKeyExA(parent, path.c_str(), 0, access, &opened);
  if (rc == ERROR_SUCCESS) key_ = opened;
  return rc;
}

LONG QueryValue(HKEY key, const std::string& name, StoredValue* out) {
  // The first read goes to the stack: most values fit, and a read is the
  // member clients call most.
  std::array<std::uint8_t, kFirstReadSize> first{};
  DWORD type = 0;
  DWORD size = kFirstReadSize;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, first.data(), &size);
  if (rc == ERROR_SUCCESS) {
    out->type = type;
    out->bytes.assign(first.begin(), first.begin() + std::min<DWORD>(size, kFirstReadSize));
    return rc;
  }
  if (rc != ERROR_MORE_DATA) return rc;
  std::vector<std::uint8_t> exact(size);
  rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, exact.data(), &size);
  if (rc == ERROR_SUCCESS) {
    exact.resize(std::min<std::size_t>(size, exact.size()));
    out->type = type;
    out->bytes = std::move(exact);
  }
  return rc;
}

void DecodeInto(const StoredValue& value, Variant& result) {
  const std::span<const std::uint8_t> data(value.bytes);
  switch (value.type) {
    case REG_SZ:
      if (!data.empty()) result = VStr(TextOf(WithoutTerminator(data, 1)));
      return;
    case REG_EXPAND_SZ:
      if (!data.empty()) result = VStr(ExpandText(WithoutTerminator(data, 1)));
      return;
    case REG_BINARY:
      // A binary of no bytes is still a binary: an empty byte array (0 to -1).
      result = Variant::Array(SafeArray::Bytes(data));
      return;
    case REG_DWORD:
      result = VLong(DoubleWordOf(data));
      return;
    case REG_MULTI_SZ: {
      UString text = TextOf(WithoutTerminator(data, 2));
      UString first = text;
      CutAtFirstNul(first);
      // An empty first string ends the list: the value holds no strings.
      if (!first.empty()) result = VStr(std::move(text));
      return;
    }
    default:
      return;
  }
}

Variant DisplayForm(DWORD type, std::span<const std::uint8_t> data) {
  switch (type) {
    case REG_SZ:
      return VStr(TextOf(WithoutTerminator(data, 1)));
    case REG_EXPAND_SZ: {
      if (data.empty()) return VStr(UString());
      // The expansion buffer ends with its NUL, which is where it is cut.
      UString buffer = ExpandText(WithoutTerminator(data, 1));
      buffer.push_back(u'\0');
      CutAtFirstNul(buffer);
      return VStr(std::move(buffer));
    }
    case REG_BINARY:
      // The byte position is a 16-bit integer in this member's contract.
      if (data.size() > static_cast<std::size_t>(kMaxIntegerPosition)) RaiseError(rt::kOverflow);
      return VStr(HexText(data));
    case REG_DWORD:
      return VLong(DoubleWordOf(data));
    case REG_MULTI_SZ: {
      UString text = TextOf(WithoutTerminator(data, 2));
      std::replace(text.begin(), text.end(), u'\0', u',');
      return VStr(std::move(text));
    }
    default:
      return Variant();
  }
}

std::optional<EncodedValue> EncodeValue(const Variant& value, std::int32_t dtype) {
  switch (dtype) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
      // The size is the ANSI byte count, so text in a multi-byte code page is
      // not cut short. Text that does not end in NUL gets one, the way the
      // ANSI function stores a terminated string whose size left it out: a
      // real registry keeps exactly the bytes given, and a string without its
      // terminator reads back wrong. Multi-string callers supply their own
      // separators.
      const std::string text = ToAnsi(ToText(value));
      EncodedValue out{static_cast<DWORD>(dtype), {text.begin(), text.end()}};
      // Zero bytes would read back as "no string"; one NUL is the empty text.
      if (out.bytes.empty() ? dtype != REG_MULTI_SZ : out.bytes.back() != 0) out.bytes.push_back(0);
      return out;
    }
    case REG_BINARY:
      return EncodedValue{REG_BINARY, ToBytes(value)};
    case REG_DWORD: {
      const auto word = static_cast<std::uint32_t>(ToLong(value));
      return EncodedValue{REG_DWORD,
                          {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                           static_cast<std::uint8_t>(word >> 16),
                           static_cast<std::uint8_t>(word >> 24)}};
    }
    default:
      return std::nullopt;
  }
}

LONG WriteValue(HKEY key, const std::string& name, const EncodedValue& value) {
  const BYTE* data = value.bytes.empty() ? nullptr : value.bytes.data();
  return RegSetValueExA(key, name.c_str(), 0, value.type, data,
                        static_cast<DWORD>(value.bytes.size()));
}

void CutAtFirstNul(UString& text) {
  const std::size_t nul = text.find(u'\0');
  if (nul == UString::npos) return;
  // The position is held as a 16-bit signed integer (1-based).
  if (nul + 1 > static_cast<std::size_t>(kMaxIntegerPosition)) RaiseError(rt::kOverflow);
  text.resize(nul);
}

}  // namespace keystrel::handler_c_detail
