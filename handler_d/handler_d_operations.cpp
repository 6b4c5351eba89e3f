// The seven registry operations of clsZqRegyHandlerD.
//
// Each operation body runs inside one try block: a run-time error ends the
// body, the key guards declared in it close their keys while the stack
// unwinds, and the catch handler records the error in form 2. So a key is
// never left open, also when the report says no further step was taken.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "frame/convert.h"
#include "frame/error.h"
#include "handler_d/handler_d.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel {
namespace {

namespace p = keystrel::platform;

// Query value, set value, create subkey, enumerate subkeys, notify, create
// link: everything the operations need, and no more.
constexpr p::REGSAM kAccessOperate = 0x3F;
constexpr p::REGSAM kAccessQuery = p::KEY_QUERY_VALUE;
constexpr p::DWORD kQueryBufferSize = 255;
constexpr p::DWORD kEnumBufferSize = 256;
constexpr std::int32_t kLastIndex = 32767;  // the enumeration counter is 16 bits

// Owns a key the operation opened and closes it on every way out.
class ScopedKey {
 public:
  ScopedKey() = default;
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() {
    if (key_ != nullptr) p::RegCloseKey(key_);
  }

  p::HKEY* out() { return &key_; }
  p::HKEY get() const { return key_; }
  // After a failed open there is no key, whatever the out parameter holds.
  void Forget() { key_ = nullptr; }
  // Closes now; the platform's answer.
  p::LONG Close() {
    const p::HKEY key = std::exchange(key_, nullptr);
    return key == nullptr ? p::ERROR_SUCCESS : p::RegCloseKey(key);
  }

 private:
  p::HKEY key_ = nullptr;
};

// A by-reference string handed to the registry comes back through the ANSI
// code page into the caller's variable, as the platform call returns it.
class AnsiArg {
 public:
  explicit AnsiArg(UString& text) : text_(text), ansi_(p::ToAnsi(text)) {}
  AnsiArg(const AnsiArg&) = delete;
  AnsiArg& operator=(const AnsiArg&) = delete;
  ~AnsiArg() { text_ = p::FromAnsi(ansi_); }

  const char* c_str() const { return ansi_.c_str(); }

 private:
  UString& text_;
  std::string ansi_;
};

p::HKEY Root(std::int32_t lngKey) { return p::HKeyFromLong(lngKey); }

p::LONG OpenKey(std::int32_t lngKey, UString& sKeyName, p::REGSAM access, ScopedKey& key) {
  p::LONG r;
  {
    AnsiArg name(sKeyName);
    r = p::RegOpenKeyExA(Root(lngKey), name.c_str(), 0, access, key.out());
  }
  if (r != p::ERROR_SUCCESS) key.Forget();
  return r;
}

// The text of a value as the automation layer converts it, an empty or null
// value contributing nothing.
UString TextOf(const Variant& value) {
  if (value.is_empty() || value.is_null()) return {};
  return ToText(value);
}

p::LONG WriteValue(p::HKEY key, UString& sValueName, p::DWORD type, const std::string& data) {
  AnsiArg name(sValueName);
  // The size is the byte count of the ANSI data: in a multi-byte code page
  // the character count would cut the text (and its NUL) short.
  return p::RegSetValueExA(key, name.c_str(), 0, type,
                           reinterpret_cast<const p::BYTE*>(data.data()),
                           static_cast<p::DWORD>(data.size()));
}

}  // namespace

// --- Delete_Key ----------------------------------------------------------

bool HandlerD::Delete_Key(std::int32_t lngKey, UString& sKeyName) {
  const Ref<HandlerD> keep_alive(this);  // a sink may drop the caller's reference
  try {
    p::LONG r;
    {
      AnsiArg name(sKeyName);
      r = p::RegDeleteKeyA(Root(lngKey), name.c_str());
    }
    if (r == p::ERROR_SUCCESS) return true;
    ReportRegistryFailure(u"Reg.Delete_Key", r);
    return false;
  } catch (...) {
    ReportUnexpected(u"Reg.Delete_Key (" + sKeyName + u")", CurrentFailure());
    return false;
  }
}

// --- Delete_Value --------------------------------------------------------

bool HandlerD::Delete_Value(std::int32_t lngKey, UString& sKeyName, UString& sValueName) {
  const Ref<HandlerD> keep_alive(this);
  try {
    ScopedKey key;
    p::LONG r = OpenKey(lngKey, sKeyName, kAccessOperate, key);
    if (r != p::ERROR_SUCCESS) {
      ReportRegistryFailure(u"Reg.Delete_Value", r);
      return false;
    }
    {
      AnsiArg name(sValueName);
      r = p::RegDeleteValueA(key.get(), name.c_str());
    }
    key.Close();
    if (r == p::ERROR_SUCCESS) return true;
    ReportRegistryFailure(u"Reg.Delete_Value", r);
    return false;
  } catch (...) {
    ReportUnexpected(u"Reg.Delete_Value (" + sKeyName + u"," + sValueName + u")",
                     CurrentFailure());
    return false;
  }
}

// --- Set_Key -------------------------------------------------------------

bool HandlerD::Set_Key(std::int32_t lngKey, UString& sNewKeyName) {
  const Ref<HandlerD> keep_alive(this);
  try {
    ScopedKey key;
    p::DWORD disposition = 0;
    p::LONG r;
    {
      AnsiArg name(sNewKeyName);
      r = p::RegCreateKeyExA(Root(lngKey), name.c_str(), 0, nullptr, p::REG_OPTION_NON_VOLATILE,
                             kAccessOperate, nullptr, key.out(), &disposition);
    }
    if (r == p::ERROR_SUCCESS) {
      key.Close();
      return true;
    }
    key.Forget();
    ReportRegistryFailure(u"Reg.Set_Key", r);
    return false;
  } catch (...) {
    ReportUnexpected(u"Reg.Set_Key (" + sNewKeyName + u")", CurrentFailure());
    return false;
  }
}

// --- Set_Value -----------------------------------------------------------

bool HandlerD::Set_Value(std::int32_t lngKey, UString& sKeyName, UString& sValueName,
                         Variant& vValueSetting, std::int32_t lValueType) {
  const Ref<HandlerD> keep_alive(this);
  try {
    return SetValueBody(lngKey, sKeyName, sValueName, vValueSetting, lValueType);
  } catch (...) {
    const RuntimeFailure failure = CurrentFailure();
    // Composing the source converts the value to text once more; when that
    // fails too, its error is the one the caller receives.
    ReportUnexpected(u"Reg.Set_Value (" + sKeyName + u"," + sValueName + u"," +
                         TextOf(vValueSetting) + u")",
                     failure);
    return false;
  }
}

bool HandlerD::SetValueBody(std::int32_t lngKey, UString& sKeyName, UString& sValueName,
                            Variant& vValueSetting, std::int32_t lValueType) {
  ScopedKey key;
  p::LONG r = OpenKey(lngKey, sKeyName, kAccessOperate, key);
  if (r != p::ERROR_SUCCESS) {
    // Typically the key does not exist yet: create it, with all the effects
    // of Set_Key (its own failure is recorded under its own label).
    Set_Key(lngKey, sKeyName);
    r = OpenKey(lngKey, sKeyName, kAccessOperate, key);
    if (r != p::ERROR_SUCCESS) {
      ReportRegistryFailure(u"Reg.Set_Value", r);
      return false;
    }
  }

  switch (lValueType) {
    case kNullValue:
    case kBinaryValue: {
      UString text = TextOf(vValueSetting);
      text.push_back(u'\0');
      vValueSetting = Variant::String(text);
      r = WriteValue(key.get(), sValueName, static_cast<p::DWORD>(lValueType), p::ToAnsi(text));
      break;
    }
    case kStringValue: {
      UString text = ToText(vValueSetting);
      text.push_back(u'\0');
      r = WriteValue(key.get(), sValueName, p::REG_SZ, p::ToAnsi(text));
      break;
    }
    case kDwordValue: {
      const auto bits = static_cast<std::uint32_t>(ToLong(vValueSetting));
      std::string data(4, '\0');
      for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
      r = WriteValue(key.get(), sValueName, p::REG_DWORD, data);
      break;
    }
    default:
      r = p::ERROR_SUCCESS;  // no such kind: nothing to write
      break;
  }

  bool result = true;
  if (r != p::ERROR_SUCCESS) {
    ReportRegistryFailure(u"Reg.Set_Value", r);
    result = false;
  }
  const p::LONG closed = key.Close();
  if (closed != p::ERROR_SUCCESS) ReportRegistryFailure(u"Reg.Set_Value", closed);
  return result;
}

// --- Query_Value ---------------------------------------------------------

Variant HandlerD::Query_Value(std::int32_t lngKey, UString& sKeyName, UString& sValueName,
                              const UString& sDefault, std::int32_t ResultType) {
  const Ref<HandlerD> keep_alive(this);
  Variant result = Variant::String({});
  try {
    QueryValueBody(lngKey, sKeyName, sValueName, sDefault, result);
  } catch (...) {
    // The result stays as it was when the error came, unadjusted.
    ReportUnexpected(u"Reg.Query_Value (" + sKeyName + u"," + sValueName + u")",
                     CurrentFailure());
    return result;
  }

  switch (ResultType) {
    case kBooleanResult:
      if (!TextEquals(result.string(), u"TRUE")) result = Variant::String(u"FALSE");
      break;
    case kIntegerResult:
      if (!IsNumeric(result)) result = Variant::Integer(0);
      break;
    default:
      break;
  }
  return result;
}

bool HandlerD::QueryValueBody(std::int32_t lngKey, UString& sKeyName, UString& sValueName,
                              const UString& sDefault, Variant& result) {
  ScopedKey key;
  p::LONG r = OpenKey(lngKey, sKeyName, kAccessQuery, key);
  if (r != p::ERROR_SUCCESS) {
    result = Variant::String(sDefault);
    ReportKeyNotOpened(u"Reg.Query_Value");
    return false;
  }

  std::string buffer(kQueryBufferSize, ' ');
  p::DWORD size = kQueryBufferSize;
  p::DWORD type = 0;
  {
    AnsiArg name(sValueName);
    r = p::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                            reinterpret_cast<p::BYTE*>(buffer.data()), &size);
  }
  if (r != p::ERROR_SUCCESS) {
    ReportRegistryFailure(u"Reg.Query_Value", r);
    result = Variant::String(sDefault);
  } else if (size > 0) {
    // Whatever its type, the data is read as text whose last byte is the
    // terminating NUL. Only the bytes returned are decoded, so a multi-byte
    // code page cannot pull the buffer's padding into the text.
    const std::size_t used = std::min<std::size_t>(size, kQueryBufferSize) - 1;
    result = Variant::String(p::FromAnsi(std::string_view(buffer.data(), used)));
  } else {
    result = Variant::String({});
  }
  key.Close();
  return r == p::ERROR_SUCCESS;
}

// --- Query_Key -----------------------------------------------------------

bool HandlerD::Query_Key(std::int32_t lngKey, UString& sKeyName) {
  const Ref<HandlerD> keep_alive(this);
  try {
    ScopedKey key;
    return OpenKey(lngKey, sKeyName, kAccessQuery, key) == p::ERROR_SUCCESS;
  } catch (...) {
    ReportUnexpected(u"Reg.Query_Key (" + sKeyName + u")", CurrentFailure());
    return false;
  }
}

// --- EnumKeys ------------------------------------------------------------

SafeArray HandlerD::EnumKeys(std::int32_t lngKey, UString& sKeyName) {
  const Ref<HandlerD> keep_alive(this);
  try {
    ScopedKey key;
    if (OpenKey(lngKey, sKeyName, kAccessOperate, key) != p::ERROR_SUCCESS) {
      ReportKeyNotOpened(u"Reg.EnumKeys");
      return SafeArray::Strings({UString()});
    }
    std::vector<UString> names;
    std::string buffer(kEnumBufferSize, ' ');
    for (std::int32_t index = 0;; ++index) {
      std::fill(buffer.begin(), buffer.end(), ' ');
      // Any nonzero answer ends the list, a real failure as well as 259.
      if (p::RegEnumKeyA(key.get(), static_cast<p::DWORD>(index), buffer.data(),
                         kEnumBufferSize) != p::ERROR_SUCCESS) {
        break;
      }
      const std::size_t end = buffer.find('\0');
      names.push_back(p::FromAnsi(std::string_view(buffer).substr(0, end)));
      if (index == kLastIndex) RaiseError(rt::kOverflow);
    }
    key.Close();
    if (names.empty()) return SafeArray(VarType::kString);
    return SafeArray::Strings(names);
  } catch (...) {
    ReportUnexpected(u"Reg.EnumKeys (" + sKeyName + u")", CurrentFailure());
    return SafeArray::Strings({UString()});
  }
}

// --- Overloads that leave the caller's text alone ------------------------

bool HandlerD::Delete_Key(std::int32_t lngKey, UStringView sKeyName) {
  UString key_name(sKeyName);
  return Delete_Key(lngKey, key_name);
}

bool HandlerD::Delete_Value(std::int32_t lngKey, UStringView sKeyName, UStringView sValueName) {
  UString key_name(sKeyName);
  UString value_name(sValueName);
  return Delete_Value(lngKey, key_name, value_name);
}

bool HandlerD::Set_Key(std::int32_t lngKey, UStringView sNewKeyName) {
  UString key_name(sNewKeyName);
  return Set_Key(lngKey, key_name);
}

bool HandlerD::Set_Value(std::int32_t lngKey, UStringView sKeyName, UStringView sValueName,
                         Variant& vValueSetting, std::int32_t lValueType) {
  UString key_name(sKeyName);
  UString value_name(sValueName);
  return Set_Value(lngKey, key_name, value_name, vValueSetting, lValueType);
}

bool HandlerD::Set_Value(std::int32_t lngKey, UStringView sKeyName, UStringView sValueName,
                         const Variant& vValueSetting, std::int32_t lValueType) {
  Variant setting = vValueSetting;
  return Set_Value(lngKey, sKeyName, sValueName, setting, lValueType);
}

Variant HandlerD::Query_Value(std::int32_t lngKey, UStringView sKeyName, UStringView sValueName,
                              UStringView sDefault, std::int32_t ResultType) {
  UString key_name(sKeyName);
  UString value_name(sValueName);
  return Query_Value(lngKey, key_name, value_name, UString(sDefault), ResultType);
}

bool HandlerD::Query_Key(std::int32_t lngKey, UStringView sKeyName) {
  UString key_name(sKeyName);
  return Query_Key(lngKey, key_name);
}

SafeArray HandlerD::EnumKeys(std::int32_t lngKey, UStringView sKeyName) {
  UString key_name(sKeyName);
  return EnumKeys(lngKey, key_name);
}

}  // namespace keystrel
