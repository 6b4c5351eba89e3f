#include "tools/keystrel/registry_access.h"

#include <vector>

#include "platform/ansi.h"
#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace p = keystrel::platform;

namespace {

// Names are at most 16383 characters; an ANSI name of a multi-byte code
// page may take a few bytes per character.
constexpr DWORD kMaxNameBytes = 16384 * 4;

}  // namespace

bool PlatformAnsiCodec::ToAnsi(std::u16string_view text, std::string* out) const {
  *out = p::ToAnsi(text);
  // The conversion writes '?' for what it cannot map; a round trip shows it.
  return p::FromAnsi(*out) == text;
}

std::u16string PlatformAnsiCodec::FromAnsi(std::string_view bytes) const {
  return p::FromAnsi(bytes);
}

unsigned PlatformAnsiCodec::CodePage() const { return p::AnsiCodePage(); }

KeyHandle& KeyHandle::operator=(KeyHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    key_ = other.key_;
    owned_ = other.owned_;
    other.key_ = nullptr;
    other.owned_ = false;
  }
  return *this;
}

void KeyHandle::Reset() {
  if (owned_ && key_ != nullptr) p::RegCloseKey(key_);
  key_ = nullptr;
  owned_ = false;
}

LONG Registry::Name(std::u16string_view name, std::string* out) const {
  return codec_.ToAnsi(name, out) ? p::ERROR_SUCCESS : kErrorUnmappable;
}

LONG Registry::Root(const KeyArgument& key, KeyHandle* out) const {
  const HKEY root = p::HKeyFromLong(static_cast<std::int32_t>(key.root->handle));
  if (key.machine.empty()) {
    *out = KeyHandle(root, false);
    return p::ERROR_SUCCESS;
  }
  std::string machine;
  if (LONG rc = Name(u"\\\\" + key.machine, &machine); rc != 0) return rc;
  HKEY connected = nullptr;
  const LONG rc = p::RegConnectRegistryA(machine.c_str(), root, &connected);
  if (rc != p::ERROR_SUCCESS) return rc;
  // The local computer's own name gives the predefined root back.
  *out = KeyHandle(connected, connected != root);
  return rc;
}

LONG Registry::Open(HKEY parent, std::u16string_view subkey, REGSAM sam, KeyHandle* out) const {
  std::string name;
  if (LONG rc = Name(subkey, &name); rc != 0) return rc;
  HKEY key = nullptr;
  const LONG rc = p::RegOpenKeyExA(parent, name.c_str(), 0, sam, &key);
  if (rc != p::ERROR_SUCCESS) return rc;
  *out = KeyHandle(key, key != parent);
  return rc;
}

LONG Registry::OpenChild(HKEY parent, std::u16string_view name, REGSAM sam,
                         KeyHandle* out) const {
  const LONG rc = Open(parent, name, sam, out);
  if (rc == p::ERROR_FILE_NOT_FOUND && name.find(u'?') != std::u16string_view::npos) {
    return kErrorLostName;
  }
  return rc;
}

LONG Registry::Create(HKEY parent, std::u16string_view subkey, KeyHandle* out,
                      REGSAM sam) const {
  std::string name;
  if (LONG rc = Name(subkey, &name); rc != 0) return rc;
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG rc = p::RegCreateKeyExA(parent, name.c_str(), 0, nullptr, p::REG_OPTION_NON_VOLATILE,
                                     sam, nullptr, &key, &disposition);
  if (rc != p::ERROR_SUCCESS) return rc;
  *out = KeyHandle(key, key != parent);
  return rc;
}

LONG Registry::EnumSubkey(HKEY key, DWORD index, std::u16string* name) const {
  std::vector<char> buf(1024);
  for (;;) {
    DWORD len = static_cast<DWORD>(buf.size());
    const LONG rc = p::RegEnumKeyExA(key, index, buf.data(), &len, nullptr, nullptr, nullptr,
                                     nullptr);
    if (rc == p::ERROR_MORE_DATA && buf.size() < kMaxNameBytes) {
      buf.resize(buf.size() * 4);
      continue;
    }
    if (rc != p::ERROR_SUCCESS) return rc;
    *name = codec_.FromAnsi(std::string_view(buf.data(), len));
    return rc;
  }
}

LONG Registry::EnumValue(HKEY key, DWORD index, RegValue* value) const {
  std::vector<char> name(512);
  std::vector<std::uint8_t> data(4096);
  for (;;) {
    DWORD name_len = static_cast<DWORD>(name.size());
    DWORD data_len = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG rc = p::RegEnumValueA(key, index, name.data(), &name_len, nullptr, &type,
                                     data.data(), &data_len);
    if (rc == p::ERROR_MORE_DATA) {
      // Either buffer may be the short one; the data size is always reported.
      if (data_len > data.size()) {
        data.resize(data_len);
      } else if (name.size() < kMaxNameBytes) {
        name.resize(name.size() * 4);
      } else {
        return rc;
      }
      continue;
    }
    if (rc != p::ERROR_SUCCESS) return rc;
    value->name = codec_.FromAnsi(std::string_view(name.data(), name_len));
    if (value->name.find(u'?') != std::u16string::npos &&
        p::RegQueryValueExA(key, std::string(name.data(), name_len).c_str(), nullptr, nullptr,
                            nullptr, nullptr) == p::ERROR_FILE_NOT_FOUND) {
      return kErrorLostName;
    }
    value->type = type;
    data.resize(data_len);
    if (IsTextType(type)) {
      value->data = ToUtf16Bytes(
          codec_.FromAnsi(std::string_view(reinterpret_cast<const char*>(data.data()), data_len)),
          false);
    } else {
      value->data = std::move(data);
    }
    return rc;
  }
}

LONG Registry::QueryValue(HKEY key, std::u16string_view name, RegValue* value) const {
  std::string ansi;
  if (LONG rc = Name(name, &ansi); rc != 0) return rc;
  DWORD size = 0;
  DWORD type = 0;
  LONG rc = p::RegQueryValueExA(key, ansi.c_str(), nullptr, &type, nullptr, &size);
  std::vector<std::uint8_t> data;
  while (rc == p::ERROR_SUCCESS || rc == p::ERROR_MORE_DATA) {
    data.resize(size + 1);
    DWORD len = static_cast<DWORD>(data.size());
    rc = p::RegQueryValueExA(key, ansi.c_str(), nullptr, &type, data.data(), &len);
    if (rc == p::ERROR_SUCCESS) {
      data.resize(len);
      break;
    }
    size = len;
  }
  if (rc != p::ERROR_SUCCESS) return rc;
  value->name = std::u16string(name);
  value->type = type;
  if (IsTextType(type)) {
    value->data = ToUtf16Bytes(
        codec_.FromAnsi(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())),
        false);
  } else {
    value->data = std::move(data);
  }
  return rc;
}

LONG Registry::SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                        std::span<const std::uint8_t> data) const {
  std::string ansi_name;
  if (LONG rc = Name(name, &ansi_name); rc != 0) return rc;
  std::vector<std::uint8_t> bytes;
  if (IsTextType(type)) {
    if (data.size() % 2 != 0) return p::ERROR_INVALID_PARAMETER;
    std::string text;
    if (!codec_.ToAnsi(FromUtf16Bytes(data), &text)) return kErrorUnmappable;
    bytes.assign(text.begin(), text.end());
  } else {
    bytes.assign(data.begin(), data.end());
  }
  const auto size = static_cast<DWORD>(bytes.size());
  // The A function stores a NUL it finds just past unterminated text; a
  // non-NUL guard byte there keeps the data exactly as given.
  bytes.push_back(0xFF);
  return p::RegSetValueExA(key, ansi_name.c_str(), 0, type, bytes.data(), size);
}

LONG Registry::DeleteValue(HKEY key, std::u16string_view name) const {
  std::string ansi;
  if (LONG rc = Name(name, &ansi); rc != 0) return rc;
  return p::RegDeleteValueA(key, ansi.c_str());
}

LONG Registry::DeleteAllValues(HKEY key) const {
  for (;;) {
    RegValue value;
    LONG rc = EnumValue(key, 0, &value);
    if (rc == p::ERROR_NO_MORE_ITEMS) return p::ERROR_SUCCESS;
    if (rc != p::ERROR_SUCCESS) return rc;
    rc = DeleteValue(key, value.name);
    if (rc != p::ERROR_SUCCESS) return rc;
  }
}

LONG Registry::DeleteTree(HKEY parent, std::u16string_view subkey) const {
  {
    KeyHandle key;
    LONG rc = OpenChild(parent, subkey, p::KEY_ENUMERATE_SUB_KEYS | p::KEY_QUERY_VALUE, &key);
    if (rc != p::ERROR_SUCCESS) return rc;
    // Always index 0: each deletion shifts the rest down.
    for (;;) {
      std::u16string child;
      rc = EnumSubkey(key.get(), 0, &child);
      if (rc == p::ERROR_NO_MORE_ITEMS) break;
      if (rc != p::ERROR_SUCCESS) return rc;
      rc = DeleteTree(key.get(), child);
      if (rc != p::ERROR_SUCCESS) return rc;
    }
  }
  std::string name;
  if (LONG rc = Name(subkey, &name); rc != 0) return rc;
  return p::RegDeleteKeyA(parent, name.c_str());
}

std::string DescribeError(LONG code, const AnsiCodec& codec) {
  switch (code) {
    case p::ERROR_FILE_NOT_FOUND:
      return "The system was unable to find the specified registry key or value.";
    case p::ERROR_ACCESS_DENIED:
      return "Access is denied.";
    case p::ERROR_BAD_NETPATH:
      return "The network path was not found.";
    case p::ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect.";
    case p::ERROR_BAD_PATHNAME:
      return "The specified path is invalid.";
    case p::ERROR_KEY_DELETED:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case kErrorUnmappable:
      return "A name or text has characters that code page " + std::to_string(codec.CodePage()) +
             " cannot represent; nothing was stored in its place.";
    case kErrorLostName:
      return "A name in the store has characters that code page " +
             std::to_string(codec.CodePage()) +
             " cannot represent, so it cannot be reached; run with KEYSTREL_ACP set to a code "
             "page that has them (65001 has all).";
    default:
      return "The registry operation failed with error " + std::to_string(code) + ".";
  }
}

}  // namespace keystrel::cli
