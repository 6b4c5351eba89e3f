#include "handler_b/handler_b.h"

#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "frame/catalogue.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/host.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel {

// Unqualified platform names resolve to our declarations here and to the real
// <windows.h> ones in the Windows build.
using namespace ::keystrel::platform;  // NOLINT(build/namespaces)

namespace {

// The root key values of the indexes 0 to 6, and their names in the warning.
constexpr std::int32_t kFirstRoot = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t kRootCount = 7;
constexpr std::array<const char16_t*, kRootCount> kRootNames = {
    u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",     u"HKEY_LOCAL_MACHINE", u"HKEY_USERS",
    u"HKEY_PERFORMANCE_DATA", u"HKEY_CURRENT_CONFIG", u"HKEY_DYN_DATA"};

// Objects are compared by their default value, followed as far as the
// conversions follow it.
constexpr int kMaxDefaultDepth = 16;

// Both enumeration buffers hold 255 characters: longer names and data end the
// enumeration with 234.
constexpr DWORD kEnumBufferLength = 255;

// Access of the deleting open: query, set, create subkey, enumerate, notify,
// create link.
constexpr REGSAM kDeleteValuesAccess = 0x3F;

// The largest value a 16-bit signed counter or position holds.
constexpr std::int32_t kMaxInteger = 32767;

// Owns the key a member obtained and closes it on every way out. A handle the
// platform gives back unchanged (RegOpenKeyA with an empty path answers with
// the handle it was passed) belongs to the caller and stays open.
class ObtainedKey {
 public:
  explicit ObtainedKey(HKEY parent) : parent_(parent) {}
  ObtainedKey(const ObtainedKey&) = delete;
  ObtainedKey& operator=(const ObtainedKey&) = delete;
  ~ObtainedKey() {
    if (key_ != nullptr && key_ != parent_) RegCloseKey(key_);
  }

  PHKEY out() noexcept { return &key_; }
  HKEY get() const noexcept { return key_; }
  bool obtained() const noexcept { return key_ != nullptr; }
  // After a failed open: whatever the platform left in the out parameter is
  // not a key of ours.
  void Forget() noexcept { key_ = nullptr; }

 private:
  HKEY parent_;
  HKEY key_ = nullptr;
};

// A path or name as the ANSI registry functions take it, or nothing when the
// text holds a NUL: those functions stop reading at the first NUL, so the call
// would reach another key or value than the one named.
std::optional<std::string> RegistryText(const UString& text) {
  if (text.find(u'\0') != UString::npos) return std::nullopt;
  return ToAnsi(text);
}

// Exact equality of a Decimal with a small non-negative integer: a conversion
// to Double could round 3.0000000000000000000000000001 to 3.
// Works on three 32-bit limbs, as 32-bit targets have no 128-bit integers.
bool DecimalEquals(const Decimal& d, std::int32_t n) {
  const std::array<std::uint32_t, 3> magnitude = {static_cast<std::uint32_t>(d.lo64),
                                                  static_cast<std::uint32_t>(d.lo64 >> 32),
                                                  d.hi32};
  if (magnitude == std::array<std::uint32_t, 3>{}) return n == 0;
  if (d.negative || n == 0) return false;
  std::array<std::uint32_t, 3> scaled = {static_cast<std::uint32_t>(n), 0, 0};
  for (int i = 0; i < d.scale; ++i) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : scaled) {
      const std::uint64_t product = std::uint64_t{limb} * 10 + carry;
      limb = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) return false;  // beyond 96 bits: larger than any Decimal
  }
  return magnitude == scaled;
}

// The root index 0 to 6 that `argument` equals as a number, or nothing.
// Text is read as a number (13 when it is none), Empty is 0, Null equals
// nothing, an object stands for its default value.
std::optional<std::int32_t> RootIndexOf(const Variant& argument) {
  Variant value = argument;
  for (int depth = 0; value.is_object(); ++depth) {
    if (!value.object()) RaiseError(rt::kObjectVariableNotSet);
    if (depth == kMaxDefaultDepth) RaiseError(rt::kTypeMismatch);
    Variant next = DefaultValue(*value.object());
    value = std::move(next);
  }
  if (value.is_null()) return std::nullopt;
  for (std::int32_t index = 0; index < kRootCount; ++index) {
    const bool equal = value.type() == VarType::kDecimal
                           ? DecimalEquals(value.decimal_value(), index)
                           : ToDouble(value) == static_cast<double>(index);
    if (equal) return index;
  }
  return std::nullopt;
}

UString WarningText() {
  UString text = u"An unknown root level registry key has been requested.\r\n";
  text += u"Valid key requests are 0 to 6:\r\n\r\n";
  for (std::int32_t index = 0; index < kRootCount; ++index) {
    text += u'\t';
    text += static_cast<char16_t>(u'0' + index);
    text += u" = ";
    text += kRootNames[index];
    text += u"\r\n";
  }
  return text;
}

// The text before the first NUL, or the whole text. The NUL's 1-based
// position is held as a 16-bit signed integer: beyond 32767 it overflows (6).
UString regStrip_Null(const UString& text) {
  const std::size_t nul = text.find(u'\0');
  if (nul == UString::npos) return text;
  if (nul + 1 > static_cast<std::size_t>(kMaxInteger)) RaiseError(rt::kOverflow);
  return text.substr(0, nul);
}

// The enumeration buffers, filled with spaces as each call prepares them.
struct EnumBuffers {
  std::array<char, kEnumBufferLength> name;
  std::array<BYTE, kEnumBufferLength> data;
  DWORD name_length = kEnumBufferLength;
  DWORD data_size = kEnumBufferLength;
  DWORD type = REG_NONE;

  LONG Enumerate(HKEY key, DWORD index) {
    name.fill(' ');
    data.fill(' ');
    name_length = kEnumBufferLength;
    data_size = kEnumBufferLength;
    type = REG_NONE;
    return RegEnumValueA(key, index, name.data(), &name_length, nullptr, &type, data.data(),
                         &data_size);
  }

  // The value name as the listing sees it: the whole name buffer, converted
  // back from the ANSI code page, up to its NUL.
  UString Name() const {
    return regStrip_Null(FromAnsi(std::string_view(name.data(), name.size())));
  }
};

bool IsListedType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD;
}

}  // namespace

Ref<HandlerB> HandlerB::Create() { return MakeRef<HandlerB>(); }

const ClassInfo* HandlerB::class_info() const noexcept {
  // Looked up once the module is registered; a miss before that is not kept.
  static std::atomic<const ClassInfo*> cached{nullptr};
  const ClassInfo* info = cached.load(std::memory_order_acquire);
  if (info == nullptr) {
    info = Catalogue::Instance().FindClass(u"clsZqRegyHandlerB");
    cached.store(info, std::memory_order_release);
  }
  return info;
}

void HandlerB::set_hKey(const Variant& vNewValue) {
  if (const std::optional<std::int32_t> index = RootIndexOf(vNewValue)) {
    root_ = VLong(kFirstRoot + *index);
    return;
  }
  // The box's answer does not matter: the assignment fails either way, and
  // only after the warning was given.
  ShowMessageBox(WarningText(), kWarningStyle, kWarningTitle);
  RaiseError(kUnknownRootError, kUnknownRootSource, kUnknownRootDescription);
}

bool HandlerB::regRead_All_Keys(std::int32_t lngRootKey, const UString& strRegKeyPath,
                                std::int32_t& lngKeyCount, SafeArray& arKeyArray) {
  // The late-bound front refuses other element types before the call; the
  // C++ front does the same before touching the registry.
  if (arKeyArray.element_type() != VarType::kVariant) RaiseError(rt::kTypeMismatch);
  std::vector<UString> names;
  std::vector<Variant> values;
  ListValues(lngRootKey, strRegKeyPath, names, values);
  if (names.empty()) return false;

  lngKeyCount = static_cast<std::int32_t>(names.size());
  // The entries are counted with a 16-bit signed counter, whose loop cannot
  // start beyond 32767: the array stays as it was.
  if (names.size() > static_cast<std::size_t>(kMaxInteger)) RaiseError(rt::kOverflow);
  std::vector<Variant> entries;
  entries.reserve(names.size());
  for (std::size_t k = 0; k < names.size(); ++k) {
    entries.push_back(VStr(names[k] + u"|" + ToText(values[k])));
  }
  // Growing the array one entry at a time, keeping its contents, ends with
  // exactly these bounds and entries: every kept element is overwritten. One
  // re-dimension gives the same array without copying it n times.
  const auto count = static_cast<std::int32_t>(entries.size());
  arKeyArray.Redim(0, count, true);
  for (std::int32_t k = 0; k < count; ++k) {
    arKeyArray.Set(k, entries[static_cast<std::size_t>(k)]);
  }
  return true;
}

void HandlerB::ListValues(std::int32_t lngRootKey, const UString& strRegKeyPath,
                          std::vector<UString>& names, std::vector<Variant>& values) {
  const std::optional<std::string> path = RegistryText(strRegKeyPath);
  if (!path) {
    last_result_ = ERROR_FILE_NOT_FOUND;
    return;
  }
  const HKEY root = HKeyFromLong(lngRootKey);
  ObtainedKey key(root);
  last_result_ = RegOpenKeyExA(root, path->c_str(), 0, KEY_READ, key.out());
  if (last_result_ != ERROR_SUCCESS) {
    key.Forget();
    return;
  }
  // Asked for, as the listing always has; the lengths are not needed with
  // fixed buffers.
  DWORD longest_name = 0;
  DWORD longest_data = 0;
  last_result_ = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, &longest_name, &longest_data, nullptr,
                                  nullptr);
  if (last_result_ != ERROR_SUCCESS) return;

  EnumBuffers buffers;
  for (DWORD index = 0;; ++index) {
    last_result_ = buffers.Enumerate(key.get(), index);
    // 259 ends the list; so does 234, a value too long for the buffers.
    if (last_result_ != ERROR_SUCCESS) break;
    if (IsListedType(buffers.type)) {
      UString name = buffers.Name();
      Variant value = regQuery_A_Key(lngRootKey, strRegKeyPath, name);
      names.push_back(std::move(name));
      values.push_back(std::move(value));
    }
    // The read records its own results: a failure there ends the list after
    // this value.
    if (last_result_ != ERROR_SUCCESS) break;
  }
}

bool HandlerB::regDelete_Multiple_Key_Values(std::int32_t lngRootKey,
                                             const UString& strRegKeyPath) {
  const std::optional<std::string> path = RegistryText(strRegKeyPath);
  if (!path) {
    last_result_ = ERROR_FILE_NOT_FOUND;
    return false;
  }
  const HKEY root = HKeyFromLong(lngRootKey);
  ObtainedKey key(root);
  last_result_ = RegOpenKeyExA(root, path->c_str(), 0, kDeleteValuesAccess, key.out());
  if (last_result_ != ERROR_SUCCESS) {
    key.Forget();
    return false;
  }
  std::int32_t deleted = 0;  // a 16-bit signed counter
  EnumBuffers buffers;
  for (;;) {
    // Always the first remaining value: each deletion moves the next one up.
    last_result_ = buffers.Enumerate(key.get(), 0);
    if (last_result_ != ERROR_SUCCESS) break;
    last_result_ = RegDeleteValueA(key.get(), ToAnsi(buffers.Name()).c_str());
    if (last_result_ != ERROR_SUCCESS) break;
    if (deleted == kMaxInteger) RaiseError(rt::kOverflow);
    ++deleted;
  }
  return deleted > 0;
}

bool HandlerB::regDelete_Single_Key(std::int32_t lngRootKey, const UString& strRegKeyPath,
                                    const UString& strRegSubKey) {
  if (!regDoes_Key_Exist(lngRootKey, strRegKeyPath)) return false;
  const std::optional<std::string> name = RegistryText(strRegSubKey);
  if (!name) {
    last_result_ = ERROR_FILE_NOT_FOUND;
    return false;
  }
  const HKEY root = HKeyFromLong(lngRootKey);
  ObtainedKey key(root);
  last_result_ = RegOpenKeyA(root, ToAnsi(strRegKeyPath).c_str(), key.out());
  if (!key.obtained()) return false;
  const LONG result = RegDeleteValueA(key.get(), name->c_str());
  last_result_ = result;
  return result == ERROR_SUCCESS;
}

bool HandlerB::regDoes_Key_Exist(std::int32_t lngRootKey, const UString& strRegKeyPath) {
  const std::optional<std::string> path = RegistryText(strRegKeyPath);
  if (!path) {
    last_result_ = ERROR_FILE_NOT_FOUND;
    return false;
  }
  const HKEY root = HKeyFromLong(lngRootKey);
  ObtainedKey key(root);
  last_result_ = RegOpenKeyA(root, path->c_str(), key.out());
  return key.obtained();
}

Variant HandlerB::regQuery_A_Key(std::int32_t lngRootKey, const UString& strRegKeyPath,
                                 const UString& strRegSubKey) {
  Variant result = VStr(UString());
  const std::optional<std::string> path = RegistryText(strRegKeyPath);
  const std::optional<std::string> name = RegistryText(strRegSubKey);
  if (!path || !name) {
    last_result_ = ERROR_FILE_NOT_FOUND;
    return result;
  }
  const HKEY root = HKeyFromLong(lngRootKey);
  ObtainedKey key(root);
  last_result_ = RegOpenKeyA(root, path->c_str(), key.out());
  if (!key.obtained()) return result;

  DWORD type = REG_NONE;
  DWORD size = 0;
  last_result_ = RegQueryValueExA(key.get(), name->c_str(), nullptr, &type, nullptr, &size);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      // As many characters as the size reported; std::string keeps a valid
      // buffer even for a size of 0.
      std::string buffer(size, ' ');
      DWORD text_type = REG_NONE;
      const LONG read =
          RegQueryValueExA(key.get(), name->c_str(), nullptr, &text_type,
                           reinterpret_cast<BYTE*>(buffer.data()), &size);
      last_result_ = read;
      if (read == ERROR_SUCCESS) result = VStr(regStrip_Null(FromAnsi(buffer)));
      break;
    }
    case REG_DWORD: {
      std::array<BYTE, 4> bytes{};
      DWORD dword_size = static_cast<DWORD>(bytes.size());
      const LONG read =
          RegQueryValueExA(key.get(), name->c_str(), nullptr, &type, bytes.data(), &dword_size);
      last_result_ = read;
      if (read == ERROR_SUCCESS) {
        const std::uint32_t raw = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                  (static_cast<std::uint32_t>(bytes[3]) << 24);
        result = VLong(static_cast<std::int32_t>(raw));
      }
      break;
    }
    default:
      break;
  }
  return result;
}

void HandlerB::regCreate_Key_Value(std::int32_t lngRootKey, const UString& strRegKeyPath,
                                   const UString& strRegSubKey, const Variant& varRegData) {
  // Converted before anything is created, so data that cannot be written
  // leaves the registry as it was.
  DWORD type = REG_SZ;
  std::string data;
  if (IsNumeric(varRegData)) {
    const auto value = static_cast<std::uint32_t>(ToLong(varRegData));
    type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8) {
      data.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
  } else {
    UString text = varRegData.is_null() ? UString() : ToText(varRegData);
    const std::size_t first = text.find_first_not_of(u' ');
    text = first == UString::npos ? UString()
                                  : text.substr(first, text.find_last_not_of(u' ') - first + 1);
    text.push_back(u'\0');
    // The size is that of the ANSI text, its NUL included: the same as the
    // number of characters in single-byte code pages, and in multi-byte ones
    // the size that does not cut the text short.
    data = ToAnsi(text);
  }

  const std::optional<std::string> path = RegistryText(strRegKeyPath);
  const std::optional<std::string> name = RegistryText(strRegSubKey);
  if (!path || !name) {
    last_result_ = ERROR_FILE_NOT_FOUND;
    return;
  }
  const HKEY root = HKeyFromLong(lngRootKey);
  ObtainedKey key(root);
  last_result_ = RegCreateKeyA(root, path->c_str(), key.out());
  if (!key.obtained()) return;
  last_result_ = RegSetValueExA(key.get(), name->c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size()));
}

void HandlerB::regCreate_A_Key(std::int32_t lngRootKey, const UString& strRegKeyPath) {
  const std::optional<std::string> path = RegistryText(strRegKeyPath);
  if (!path) {
    last_result_ = ERROR_FILE_NOT_FOUND;
    return;
  }
  const HKEY root = HKeyFromLong(lngRootKey);
  ObtainedKey key(root);
  last_result_ = RegCreateKeyA(root, path->c_str(), key.out());
}

bool HandlerB::regDelete_A_Key(std::int32_t lngRootKey, const UString& strRegKeyPath,
                               const UString& strRegKeyName) {
  if (!regDoes_Key_Exist(lngRootKey, strRegKeyPath)) return false;
  // An empty subkey path makes the platform delete the opened key itself; a
  // name cut at a NUL would name another subkey.
  const std::optional<std::string> name = RegistryText(strRegKeyName);
  if (!name || strRegKeyName.find_first_not_of(u'\\') == UString::npos) {
    last_result_ = ERROR_INVALID_PARAMETER;
    return false;
  }
  const HKEY root = HKeyFromLong(lngRootKey);
  ObtainedKey key(root);
  last_result_ = RegOpenKeyA(root, ToAnsi(strRegKeyPath).c_str(), key.out());
  if (!key.obtained()) return false;
  const LONG result = RegDeleteKeyA(key.get(), name->c_str());
  last_result_ = result;
  return result == ERROR_SUCCESS;
}

}  // namespace keystrel
