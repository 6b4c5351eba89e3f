// clsZqRegyHandlerA: typed reads and writes of single values, the
// multi-string conversions, and deletion of values and keys.
#include <cstring>
#include <string>
#include <vector>

#include "frame/convert.h"
#include "frame/error.h"
#include "handler_a/handler_a.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel {

// Unqualified on purpose: on Windows these names are <windows.h>'s own (some
// of them macros), here they come from keystrel::platform.
using namespace platform;  // NOLINT(build/namespaces)

namespace {

// The item counter of the multi-string split is 16 bits wide.
constexpr std::size_t kMaxMultiStringNuls = 32767;

// The expansion buffer of REG_EXPAND_SZ reads, in characters.
constexpr DWORD kExpandBufferSize = 4096;

std::int32_t LittleEndian(const BYTE* bytes, std::size_t count) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < count && i < 4; ++i)
    v |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  return static_cast<std::int32_t>(v);
}

// The value's bytes, read into a buffer of `buffer_size` bytes that starts all
// NUL. Returns the buffer and sets *data_size to the size the query reported,
// never beyond the buffer (the value may have grown meanwhile).
std::vector<BYTE> ReadData(HKEY key, const std::string& name, DWORD buffer_size, DWORD* data_size) {
  std::vector<BYTE> buffer(buffer_size, 0);
  DWORD size = buffer_size;
  const LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, buffer.data(), &size);
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) size = 0;
  *data_size = size < buffer_size ? size : buffer_size;
  return buffer;
}

// String data as text. The terminating NUL is dropped only when it is there:
// data written without one loses no character.
UString StringData(const std::vector<BYTE>& buffer, DWORD data_size) {
  std::size_t n = data_size;
  if (n > 0 && buffer[n - 1] == 0) --n;
  return FromAnsi(std::string_view(reinterpret_cast<const char*>(buffer.data()), n));
}

UString Expand(const std::vector<BYTE>& buffer, DWORD data_size) {
  std::string source(reinterpret_cast<const char*>(buffer.data()), data_size);
  source.push_back('\0');
  std::vector<char> expanded(kExpandBufferSize, '\0');
  DWORD needed = ExpandEnvironmentStringsA(source.c_str(), expanded.data(), kExpandBufferSize - 1);
  if (needed > kExpandBufferSize - 1) {
    // A longer expansion gets a buffer of the size the platform asked for.
    expanded.assign(needed + 1, '\0');
    needed = ExpandEnvironmentStringsA(source.c_str(), expanded.data(), needed);
  }
  return FromAnsi(std::string_view(expanded.data()));  // up to the first NUL
}

Variant BinaryData(const std::vector<BYTE>& buffer, DWORD data_size) {
  switch (data_size) {
    case 4:
      return Variant::Long(LittleEndian(buffer.data(), 4));
    case 2:
      return Variant::Integer(static_cast<std::int16_t>(LittleEndian(buffer.data(), 2)));
    case 1:
      return Variant::Byte(buffer[0]);
    default:
      return Variant::Array(SafeArray::Bytes(std::span(buffer.data(), data_size)));
  }
}

Variant DwordData(HKEY key, const std::string& name, DWORD buffer_size) {
  BYTE bytes[4] = {0, 0, 0, 0};
  DWORD size = sizeof bytes;
  if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, bytes, &size) == ERROR_MORE_DATA) {
    // Longer than a double word: its first four bytes are the number.
    DWORD data_size = 0;
    const std::vector<BYTE> all = ReadData(key, name, buffer_size, &data_size);
    return Variant::Long(LittleEndian(all.data(), data_size));
  }
  return Variant::Long(LittleEndian(bytes, 4));
}

// What SetValue hands to RegSetValueExA.
struct Encoding {
  bool write = false;  // false: nothing is written
  DWORD type = REG_NONE;
  std::string bytes;
  bool no_data = false;  // a one-byte write without data, which the registry refuses
};

Encoding Text(DWORD type, const UString& text) {
  Encoding e{true, type, ToAnsi(text), false};
  e.bytes.push_back('\0');
  return e;
}

Encoding OneByte(std::uint8_t b) {
  return Encoding{true, REG_BINARY, std::string(1, static_cast<char>(b)), false};
}

Encoding DoubleWord(std::int32_t v) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
  return Encoding{true, REG_DWORD, bytes, false};
}

Encoding Whole(std::int32_t v) {
  return v >= 0 && v <= 255 ? OneByte(static_cast<std::uint8_t>(v)) : DoubleWord(v);
}

}  // namespace

Variant HandlerA::GetValue(std::int32_t uKey, const UString& szValue, Variant* DefaultValue,
                           std::int32_t* lpType) {
  const HKEY key = HKeyFromLong(uKey);
  const std::string name = ToAnsi(szValue);
  DWORD type = REG_NONE;
  DWORD size = 0;
  BYTE probe = 0;
  const LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, &probe, &size);
  if (size == 0) {
    if (DefaultValue == nullptr || DefaultValue->is_missing()) return Variant();
    // Only a value that is missing or empty is replaced by the default; one
    // that exists but could not be read (no query right, say) is kept.
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) SetValue(uKey, szValue, *DefaultValue);
    return *DefaultValue;
  }
  const DWORD buffer_size = size + 2;
  if (lpType != nullptr) *lpType = static_cast<std::int32_t>(type);

  DWORD data_size = 0;
  switch (type) {
    case REG_SZ: {
      const std::vector<BYTE> data = ReadData(key, name, buffer_size, &data_size);
      return Variant::String(StringData(data, data_size));
    }
    case REG_EXPAND_SZ: {
      const std::vector<BYTE> data = ReadData(key, name, buffer_size, &data_size);
      return Variant::String(Expand(data, data_size));
    }
    case REG_BINARY: {
      const std::vector<BYTE> data = ReadData(key, name, buffer_size, &data_size);
      return BinaryData(data, data_size);
    }
    case REG_DWORD:
      return DwordData(key, name, buffer_size);
    case REG_MULTI_SZ: {
      // The whole buffer: the data and the two NULs of the extra room.
      const std::vector<BYTE> data = ReadData(key, name, buffer_size, &data_size);
      const UString text =
          FromAnsi(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
      return Variant::Array(GetMultiSZ(text));
    }
    default: {
      const std::vector<BYTE> data = ReadData(key, name, buffer_size, &data_size);
      return Variant::String(
          FromAnsi(std::string_view(reinterpret_cast<const char*>(data.data()), data_size)));
    }
  }
}

SafeArray HandlerA::GetMultiSZ(const UString& vData) {
  std::vector<UString> items(1);
  for (char16_t c : vData) {
    if (c != u'\0') {
      items.back().push_back(c);
      continue;
    }
    if (items.size() > kMaxMultiStringNuls) RaiseError(rt::kOverflow);
    items.emplace_back();
  }
  return SafeArray::Strings(items, 0);
}

UString HandlerA::ToMultiSZ(const SafeArray& vData) {
  UString out;
  for (std::int32_t i = vData.LBound(); i <= vData.UBound(); ++i) {
    const Variant item = vData.Get(i);
    out += item.is_string() ? item.string() : ToText(item);
    out.push_back(u'\0');
  }
  out.push_back(u'\0');
  return out;
}

std::int32_t HandlerA::SetValue(std::int32_t uKey, const UString& szValue, const Variant& vData) {
  if (vData.is_object()) return 0;
  if (vData.is_missing()) {
    DeleteValue(uKey, szValue);
    return 0;
  }
  Encoding e;
  try {
    if (vData.is_array()) {
      const SafeArray& array = vData.array();
      if (array.element_type() == VarType::kString) {
        // An array never dimensioned is written as the empty list.
        e = Text(REG_MULTI_SZ, array.has_storage() ? ToMultiSZ(array) : UString(1, u'\0'));
        e.bytes.pop_back();  // ToMultiSZ already ends the list
      } else {
        e = Encoding{true, REG_BINARY, {}, true};
      }
    } else {
      switch (vData.type()) {
        case VarType::kString:
          e = Text(REG_SZ, vData.string());
          break;
        case VarType::kByte:
          e = OneByte(vData.byte_value());
          break;
        case VarType::kInteger:
          e = Whole(vData.integer_value());
          break;
        case VarType::kLong:
          e = Whole(vData.long_value());
          break;
        case VarType::kBoolean:
          e = OneByte(vData.bool_value() ? 1 : 0);
          break;
        case VarType::kError:
          e = Encoding{true, REG_BINARY, {}, true};
          break;
        default:
          // Single, double, currency, date and decimal: their type codes have
          // bit 2 or bit 5 set. They are stored as text.
          if ((static_cast<unsigned>(vData.type()) & 0x24u) != 0) e = Text(REG_SZ, ToText(vData));
          break;  // Empty, Null: nothing to write
      }
    }
  } catch (const AutomationError&) {
    return 0;  // past the object test, failures are not reported
  }
  if (!e.write) return 0;
  const std::string name = ToAnsi(szValue);
  if (e.no_data) return RegSetValueExA(HKeyFromLong(uKey), name.c_str(), 0, e.type, nullptr, 1);
  return RegSetValueExA(HKeyFromLong(uKey), name.c_str(), 0, e.type,
                        reinterpret_cast<const BYTE*>(e.bytes.data()),
                        static_cast<DWORD>(e.bytes.size()));
}

Variant HandlerA::DeleteValue(std::int32_t uKey, const UString& szValue) {
  RegDeleteValueA(HKeyFromLong(uKey), ToAnsi(szValue).c_str());
  return Variant();
}

Variant HandlerA::DeleteKey(std::int32_t uKey, const UString& szSubKey) {
  RegDeleteKeyA(HKeyFromLong(uKey), ToAnsi(szSubKey).c_str());
  return Variant();
}

}  // namespace keystrel
