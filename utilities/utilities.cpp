#include "utilities/utilities.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <span>
#include <vector>

#include "frame/catalogue.h"
#include "frame/convert.h"
#include "frame/error.h"
#include "platform/ansi.h"
#include "utilities/internal/platform_access.h"

namespace keystrel {

using namespace ::keystrel::utilities_detail;  // NOLINT(build/namespaces)

namespace {

const char16_t kNoteSection[] = u"',Section: '";
const char16_t kNoteValue[] = u"',Key: '";

// A value can change size between the size query and the read (another
// process shares the store); the read is repeated this many times at most.
constexpr int kReadAttempts = 4;

// The stored type and bytes of the addressed value, or nullopt when it cannot
// be read.
struct StoredValue {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;
};

std::optional<StoredValue> ReadStored(HKEY key, const std::string& name) {
  StoredValue stored;
  std::uint8_t scratch[4] = {};
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &stored.type, scratch, &size);
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return std::nullopt;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    // The buffer always has room, so a zero size still passes a real pointer.
    stored.bytes.assign(std::max<DWORD>(size, 1), 0);
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &stored.type, stored.bytes.data(), &size);
    if (rc == ERROR_SUCCESS) {
      stored.bytes.resize(std::min<std::size_t>(size, stored.bytes.size()));
      return stored;
    }
    if (rc != ERROR_MORE_DATA) return std::nullopt;
  }
  return std::nullopt;
}

// The text of string data: the bytes less the terminating NUL. Data stored
// without a terminator (written by another program) keeps its last
// character, and an empty value reads as an empty text.
std::string StoredText(const std::vector<std::uint8_t>& bytes) {
  std::size_t length = bytes.size();
  if (length > 0 && bytes.back() == 0) --length;
  return std::string(reinterpret_cast<const char*>(bytes.data()), length);
}

// Environment references replaced, as the platform expands them. The buffer
// is sized by a first call; the result ends at the first NUL the platform
// wrote, since some platforms ask for one byte more than they fill.
std::string Expand(const std::string& text) {
  char none[1] = {'\0'};
  const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), none, 0);
  if (needed == 0) return text;
  std::vector<char> expanded(needed + 1, '\0');
  const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed);
  if (written == 0 || written > needed) return text;
  return std::string(expanded.data());
}

// Up to four bytes as the 32-bit integer the machine reads from them (the
// missing high bytes zero), optionally with the byte order reversed.
std::int32_t DoubleWord(const std::vector<std::uint8_t>& bytes, bool big_endian) {
  std::uint8_t raw[4] = {};
  std::memcpy(raw, bytes.data(), std::min<std::size_t>(bytes.size(), 4));
  if (big_endian) std::reverse(std::begin(raw), std::end(raw));
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(raw[0]) | static_cast<std::uint32_t>(raw[1]) << 8 |
      static_cast<std::uint32_t>(raw[2]) << 16 | static_cast<std::uint32_t>(raw[3]) << 24);
}

Variant Decode(const StoredValue& stored) {
  switch (stored.type) {
    case REG_SZ:
    case REG_MULTI_SZ:
      return VStr(FromAnsi(StoredText(stored.bytes)));
    case REG_EXPAND_SZ:
      return VStr(FromAnsi(Expand(StoredText(stored.bytes))));
    case REG_DWORD:
      return VLong(DoubleWord(stored.bytes, false));
    case REG_DWORD_BIG_ENDIAN:
      return VLong(DoubleWord(stored.bytes, true));
    default:
      return Variant::Array(SafeArray::Bytes(stored.bytes));
  }
}

// REG_EXPAND_SZ when a second percent sign follows the first at two or more
// positions' distance ("%a%", not "%%" or "100%"), else REG_SZ.
DWORD StringTypeOf(const UString& text) {
  const std::size_t first = text.find(u'%');
  if (first == UString::npos) return REG_SZ;
  return text.find(u'%', first + 2) == UString::npos ? REG_SZ : REG_EXPAND_SZ;
}

LONG SetValue(HKEY key, const std::optional<std::string>& name, DWORD type,
              std::span<const std::uint8_t> data) {
  if (!name) return ERROR_INVALID_PARAMETER;
  const std::uint8_t nothing = 0;
  return RegSetValueExA(key, name->c_str(), 0, type, data.empty() ? &nothing : data.data(),
                        static_cast<DWORD>(data.size()));
}

}  // namespace

Ref<UtilitesA> UtilitesA::Create() { return MakeRef<UtilitesA>(); }

const ClassInfo* UtilitesA::class_info() const noexcept {
  // Looked up once the module is registered; a miss before that is not kept.
  static std::atomic<const ClassInfo*> cached{nullptr};
  const ClassInfo* info = cached.load(std::memory_order_acquire);
  if (info == nullptr) {
    info = Catalogue::Instance().FindClass(u"clsZqRegyUtilitesA");
    cached.store(info, std::memory_order_release);
  }
  return info;
}

bool UtilitesA::KeyExists() {
  KeyHandle key;
  return key.Open(class_key_, section_key_, kQueryAccess) == ERROR_SUCCESS;
}

bool UtilitesA::CreateKey() {
  KeyHandle key;
  if (key.Create(class_key_, section_key_, kKeyRights) != ERROR_SUCCESS) {
    RaiseError(kKeyFailure, ErrorSource(), u"Failed to create registry Key: '" + section_key_);
  }
  return true;
}

bool UtilitesA::DeleteKey() {
  const std::optional<std::string> path = PlatformName(section_key_);
  const LONG rc =
      path ? RegDeleteKeyA(HKeyFromLong(class_key_), path->c_str()) : ERROR_FILE_NOT_FOUND;
  if (rc != ERROR_SUCCESS) {
    RaiseError(
        kKeyFailure, ErrorSource(),
        u"Failed to delete registry Key: '" + RootText(class_key_) + kNoteSection + section_key_);
  }
  return true;
}

bool UtilitesA::DeleteValue() {
  KeyHandle key;
  if (key.Open(class_key_, section_key_, kKeyRights) != ERROR_SUCCESS) {
    RaiseError(kKeyFailure, ErrorSource(),
               u"Failed to open key '" + RootText(class_key_) + kNoteSection + section_key_ +
                   u"' for delete access");
  }
  const std::optional<std::string> name = PlatformName(value_key_);
  const LONG rc = name ? RegDeleteValueA(key.get(), name->c_str()) : ERROR_FILE_NOT_FOUND;
  key.Close();
  if (rc != ERROR_SUCCESS) {
    RaiseError(kKeyFailure, ErrorSource(),
               u"Failed to delete registry Key: '" + RootText(class_key_) + kNoteSection +
                   section_key_ + kNoteValue + value_key_);
  }
  return true;
}

Variant UtilitesA::Value() {
  KeyHandle key;
  const std::optional<std::string> name = PlatformName(value_key_);
  if (!name || key.Open(class_key_, section_key_, kQueryAccess) != ERROR_SUCCESS) {
    return default_;
  }
  const std::optional<StoredValue> stored = ReadStored(key.get(), *name);
  key.Close();
  if (!stored) return default_;
  value_type_ = static_cast<std::int32_t>(stored->type);
  return Decode(*stored);
}

void UtilitesA::set_Value(const Variant& v) {
  KeyHandle key;
  if (key.Create(class_key_, section_key_, kKeyRights) != ERROR_SUCCESS) {
    RaiseError(kKeyFailure, ErrorSource(), SetValueDescription(v));
  }
  const std::optional<std::string> name = PlatformName(value_key_);
  // Types outside the five, and double words given anything but an integer,
  // write nothing and count as invalid data.
  LONG rc = kInvalidDataResult;
  switch (value_type_) {
    case kRegSz:
    case kRegExpandSz: {
      const UString text = ToText(v);
      std::string data = ToAnsi(text);
      data.push_back('\0');
      rc = SetValue(key.get(), name, StringTypeOf(text),
                    std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
      break;
    }
    case kRegBinary:
      if (v.type() != (VarType::kArray | VarType::kByte)) {
        // The library's own number with the automation layer's default text.
        RaiseError(kKeyFailure, ErrorSource());
      }
      rc = SetValue(key.get(), name, REG_BINARY, v.array().bytes());
      break;
    case kRegDword:
    case kRegDwordBigEndian:
      if (v.type() == VarType::kInteger || v.type() == VarType::kLong) {
        const auto word = static_cast<std::uint32_t>(ToLong(v));
        const std::uint8_t data[4] = {
            static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
        rc = SetValue(key.get(), name, REG_DWORD, data);
      }
      break;
    default:
      break;
  }
  key.Close();
  if (rc != ERROR_SUCCESS) RaiseError(kSetValueFailure, ErrorSource(), SetValueDescription(v));
}

UString UtilitesA::SetValueDescription(const Variant& v) const {
  return u"Failed to set registry value Key: '" + RootText(class_key_) + kNoteSection +
         section_key_ + kNoteValue + value_key_ + u"' to value: '" + DescribeValue(v) + u"'";
}

}  // namespace keystrel
