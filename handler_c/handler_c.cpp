#include "handler_c/handler_c.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "frame/catalogue.h"
#include "frame/convert.h"
#include "frame/safe_array.h"
#include "handler_c/internal/value_codec.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel {

using namespace ::keystrel::handler_c_detail;  // NOLINT(build/namespaces)

namespace {

// Buffer lengths of the enumerations: names fit 260 characters. A value name
// can be far longer (16,383 characters, two bytes each in a multi-byte code
// page); the buffer grows to that only when a read reports 234.
constexpr DWORD kNameBufferLength = 260;
constexpr DWORD kLongestValueNameBytes = 16383 * 2 + 1;
constexpr DWORD kFirstValueDataSize = 4096;

const char16_t kBackslash[] = u"\\";
const char16_t kRemoteFailure[] = u"Error!";

// Adds `item` under `key`. Two names that differ in the registry can meet
// as one name after the ANSI conversion (characters the code page lacks
// become "?"); the second is then listed by position only rather than
// failing the whole enumeration.
void AddNamed(Collection& items, Variant item, const UString& key) {
  if (items.FindKey(key)) {
    items.Add(item);
  } else {
    items.Add(item, VStr(key));
  }
}

// Closes a connection handle unless it is the handle the caller passed in:
// for the local computer the platform hands that same handle back, and a key
// the caller opened must stay open.
class ConnectionHandle {
 public:
  ConnectionHandle(HKEY connection, HKEY passed) : connection_(connection), passed_(passed) {}
  ConnectionHandle(const ConnectionHandle&) = delete;
  ConnectionHandle& operator=(const ConnectionHandle&) = delete;
  ~ConnectionHandle() {
    if (connection_ != nullptr && connection_ != passed_) RegCloseKey(connection_);
  }
  HKEY get() const noexcept { return connection_; }

 private:
  HKEY connection_;
  HKEY passed_;
};

}  // namespace

Ref<HandlerC> HandlerC::Create() { return MakeRef<HandlerC>(); }

const ClassInfo* HandlerC::class_info() const noexcept {
  // Looked up once the module is registered; a miss before that is not kept.
  static std::atomic<const ClassInfo*> cached{nullptr};
  const ClassInfo* info = cached.load(std::memory_order_acquire);
  if (info == nullptr) {
    info = Catalogue::Instance().FindClass(u"clsZqRegyHandlerC");
    cached.store(info, std::memory_order_release);
  }
  return info;
}

UString HandlerC::KeyPath() const { return key_root_ + kBackslash + subkey_; }

bool HandlerC::KeyExists() {
  KeyHandle key;
  return key.Open(HKeyFromLong(root_), ToAnsi(KeyPath()), KEY_READ) == ERROR_SUCCESS;
}

UString HandlerC::CreateKey() {
  Variant omitted = Variant::Missing();
  return CreateKey(omitted);
}

UString HandlerC::CreateKey(Variant& KeyName) {
  const UString name = KeyName.is_missing() ? subkey_ : ToText(KeyName);
  KeyName = VStr(name);
  const std::string path = ToAnsi(key_root_ + kBackslash + name);
  SECURITY_ATTRIBUTES security{creation_security_.length, creation_security_.descriptor,
                               creation_security_.inherit};
  char no_class[] = "";
  HKEY created = nullptr;
  DWORD disposition = 0;
  const LONG rc = RegCreateKeyExA(HKeyFromLong(root_), path.c_str(), 0, no_class,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, &security, &created,
                                  &disposition);
  KeyHandle key;
  if (rc == ERROR_SUCCESS) key.Adopt(created);
  return rc == ERROR_SUCCESS ? UString(u"0") : UString();
}

std::int32_t HandlerC::DeleteKey(const UString& KeyName) {
  const UString path = key_root_ + kBackslash + KeyName;
  // With no name (or a name the C string boundary cuts short) the path would
  // name `KeyRoot` itself, or a key above the one meant, and delete it.
  if (KeyName.find_first_not_of(u'\\') == UString::npos || path.find(u'\0') != UString::npos) {
    return ERROR_INVALID_PARAMETER;
  }
  return RegDeleteKeyA(HKeyFromLong(root_), ToAnsi(path).c_str());
}

std::int32_t HandlerC::DeleteValue(UString& ValueName) {
  KeyHandle key;
  const LONG opened = key.Open(HKeyFromLong(root_), ToAnsi(KeyPath()), KEY_ALL_ACCESS);
  if (opened != ERROR_SUCCESS) return opened;
  const std::string name = ToAnsi(ValueName);
  const LONG rc = RegDeleteValueA(key.get(), name.c_str());
  ValueName = FromAnsi(name);
  return rc;
}

Ref<Collection> HandlerC::EnumRegistryKeys(std::int32_t hKey, const UString& KeyName) {
  Ref<Collection> result = Collection::Create();
  HKEY parent = HKeyFromLong(hKey);
  KeyHandle opened;
  if (!KeyName.empty()) {
    if (opened.Open(parent, ToAnsi(KeyName), KEY_READ) != ERROR_SUCCESS) return result;
    parent = opened.get();
  }
  std::array<char, kNameBufferLength> name;
  char key_class[1];
  for (DWORD index = 0;; ++index) {
    name.fill(' ');
    DWORD name_length = kNameBufferLength;
    key_class[0] = '\0';
    DWORD class_length = 1;
    FILETIME written{};
    if (RegEnumKeyExA(parent, index, name.data(), &name_length, nullptr, key_class,
                      &class_length, &written) != ERROR_SUCCESS) {
      break;
    }
    const std::string_view raw(name.data(), name.size());
    UString text = FromAnsi(raw.substr(0, raw.find('\0')));
    AddNamed(*result, VStr(text), text);
  }
  return result;
}

Ref<Collection> HandlerC::EnumRegistryValues(std::int32_t hKey, const UString& KeyName) {
  Ref<Collection> result = Collection::Create();
  HKEY parent = HKeyFromLong(hKey);
  KeyHandle opened;
  if (!KeyName.empty()) {
    if (opened.Open(parent, ToAnsi(KeyName), KEY_READ) != ERROR_SUCCESS) return result;
    parent = opened.get();
  }
  std::vector<char> name;
  std::vector<std::uint8_t> data;
  for (DWORD index = 0;; ++index) {
    name.assign(kNameBufferLength, ' ');
    DWORD name_length = static_cast<DWORD>(name.size());
    data.assign(kFirstValueDataSize, 0);
    DWORD size = kFirstValueDataSize;
    DWORD type = 0;
    LONG rc = RegEnumValueA(parent, index, name.data(), &name_length, nullptr, &type, data.data(),
                            &size);
    if (rc == ERROR_MORE_DATA) {
      // Either the data or the name did not fit; the platform reports the
      // data size, so the data buffer takes exactly that and the name buffer
      // the longest name a value can have.
      data.assign(size, 0);
      name.assign(kLongestValueNameBytes, ' ');
      name_length = static_cast<DWORD>(name.size());
      rc = RegEnumValueA(parent, index, name.data(), &name_length, nullptr, &type,
                         data.empty() ? nullptr : data.data(), &size);
    }
    if (rc != ERROR_SUCCESS) break;
    UString value_name = FromAnsi(std::string_view(name.data(), name_length));
    Variant display = DisplayForm(type, std::span<const std::uint8_t>(data).first(
                                            std::min<std::size_t>(size, data.size())));
    AddNamed(*result, Variant::Array(SafeArray::Variants({VStr(value_name), std::move(display)})),
             value_name);
  }
  return result;
}

Variant HandlerC::GetRegistryValue(const UString& ValueName, const Variant& DefaultValue) {
  Variant result = DefaultValue.is_missing() ? Variant() : DefaultValue;
  KeyHandle key;
  if (key.Open(HKeyFromLong(root_), ToAnsi(KeyPath()), KEY_READ) != ERROR_SUCCESS) return result;
  StoredValue stored;
  if (QueryValue(key.get(), ToAnsi(ValueName), &stored) == ERROR_SUCCESS) {
    DecodeInto(stored, result);
  }
  return result;
}

bool HandlerC::SetRegistryValue(const UString& ValueName, const Variant& Value,
                                std::int32_t DType) {
  KeyHandle key;
  if (key.Open(HKeyFromLong(hKey()), ToAnsi(KeyPath()), KEY_WRITE) != ERROR_SUCCESS) return false;
  const std::optional<EncodedValue> encoded = EncodeValue(Value, DType);
  if (!encoded) return true;  // a type outside the five: nothing to write
  return WriteValue(key.get(), ToAnsi(ValueName), *encoded) == ERROR_SUCCESS;
}

Variant HandlerC::ReadRemoteRegistryValue(const UString& sRemoteComputer, std::int32_t hKey,
                                          const UString& ValueName,
                                          const std::optional<UString>& KeyPath) {
  const std::string path = ToAnsi(KeyPath ? *KeyPath : this->KeyPath());
  const HKEY root = HKeyFromLong(hKey);
  HKEY connected = nullptr;
  if (RegConnectRegistryA(ToAnsi(sRemoteComputer).c_str(), root, &connected) != ERROR_SUCCESS) {
    return VStr(kRemoteFailure);
  }
  const ConnectionHandle connection(connected, root);
  KeyHandle key;
  Variant result;
  if (key.Open(connection.get(), path, KEY_ALL_ACCESS) != ERROR_SUCCESS) return result;
  StoredValue stored;
  if (QueryValue(key.get(), ToAnsi(ValueName), &stored) == ERROR_SUCCESS) {
    DecodeInto(stored, result);
  }
  return result;
}

bool HandlerC::WriteRemoteRegistryValue(const UString& sRemoteComputer, std::int32_t hKey,
                                        const UString& ValueName, const Variant& Value,
                                        std::int32_t DType,
                                        const std::optional<UString>& KeyPath) {
  const std::string path = ToAnsi(KeyPath ? *KeyPath : this->KeyPath());
  const HKEY root = HKeyFromLong(hKey);
  HKEY connected = nullptr;
  if (RegConnectRegistryA(ToAnsi(sRemoteComputer).c_str(), root, &connected) != ERROR_SUCCESS) {
    return false;
  }
  const ConnectionHandle connection(connected, root);
  KeyHandle key;
  const bool opened = key.Open(connection.get(), path, KEY_ALL_ACCESS) == ERROR_SUCCESS;
  // The value is converted whether or not the key opened, so a value that
  // cannot be converted is reported as such.
  const std::optional<EncodedValue> encoded = EncodeValue(Value, DType);
  if (!encoded) return true;  // a type outside the five: nothing to write
  if (!opened) return false;  // a write without an open key cannot succeed
  return WriteValue(key.get(), ToAnsi(ValueName), *encoded) == ERROR_SUCCESS;
}

UString HandlerC::TrimNull(UString& Item) {
  CutAtFirstNul(Item);
  return Item;
}

}  // namespace keystrel
