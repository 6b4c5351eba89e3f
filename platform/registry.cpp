// The Win32-shaped registry functions. Each one checks its arguments, resolves
// the handle, converts text at the ANSI boundary, calls the store and turns
// the store's status into the Win32 result in one place (Win32FromStatus).
#include "platform/registry.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/access.h"
#include "platform/handle_table.h"
#include "platform/internal/ansi_codec.h"
#include "platform/key_name.h"
#include "platform/stores.h"

namespace keystrel::platform {
namespace {

constexpr std::uint32_t kHklm = 0x80000002u;
constexpr std::uint32_t kHku = 0x80000003u;
constexpr std::uint32_t kHkpd = 0x80000004u;
constexpr std::uint32_t kClassesRoot = 0x80000000u;
constexpr std::uint32_t kLastPredefined = 0x80000006u;
constexpr std::uint32_t kMaximumAllowedMask = 0x02000000u;

// Per-thread conversion buffers: the hot paths convert names and data on
// every call and should not allocate for it.
struct Scratch {
  std::u16string path;
  std::u16string name;
  std::u16string text;
  std::string ansi;
  std::string ansi2;
  std::string stored;
  ValueData value;
};

Scratch& GetScratch() {
  thread_local Scratch scratch;
  return scratch;
}

const detail::AnsiCodec& Codec() { return detail::CurrentCodec(); }

std::uint32_t HandleBits(HKEY key) { return static_cast<std::uint32_t>(LongFromHKey(key)); }

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A key reached through a handle: its store, its id and the caller's rights.
struct Target {
  StoreRef store;
  KeyId key = 0;
  std::uint32_t access = 0;
};

// Handles use only their low 32 bits, as 64-bit Windows does for roots.
// HKEY_PERFORMANCE_DATA and unknown roots answer kInvalidHandle; callers that
// treat an empty path on a root specially do so before resolving.
Result<Target> Resolve(HKEY hkey) {
  std::uint32_t bits = HandleBits(hkey);
  if (bits >= kClassesRoot) {
    if (bits > kLastPredefined || bits == kHkpd) return Status(StatusCode::kInvalidHandle);
    Result<StoreRef> local = LocalStore();
    if (!local.ok()) return local.status();
    static constexpr PredefinedKey kRoots[] = {
        PredefinedKey::kClassesRoot,   PredefinedKey::kCurrentUser, PredefinedKey::kLocalMachine,
        PredefinedKey::kUsers,         PredefinedKey::kUsers,  // HKPD never gets here
        PredefinedKey::kCurrentConfig, PredefinedKey::kDynData,
    };
    return Target{std::move(local).value(), PredefinedKeyId(kRoots[bits - kClassesRoot]),
                  kAllKeyAccess};
  }
  HandleEntry entry;
  if (!HandleTable::Instance().Lookup(static_cast<std::int32_t>(bits), &entry)) {
    return Status(StatusCode::kInvalidHandle);
  }
  return Target{std::move(entry.store), entry.key, entry.access};
}

bool IsPredefined(HKEY hkey) {
  std::uint32_t bits = HandleBits(hkey);
  return bits >= kClassesRoot && bits <= kLastPredefined;
}

// Converts an ANSI sub-key path and checks what the A functions check:
// its length (234), a leading backslash (161; HKEY_CLASSES_ROOT skips it) and
// the length of each component (87).
Status ConvertSubKey(HKEY hkey, LPCSTR sub_key, std::u16string& wide, KeyPath& path) {
  std::string_view ansi = sub_key ? std::string_view(sub_key) : std::string_view();
  if (ansi.size() > kMaxAnsiSubKeyLength) return Status(StatusCode::kMoreData);
  Codec().Decode(ansi, wide);
  std::u16string_view view(wide);
  if (view.starts_with(u'\\')) {
    if (HandleBits(hkey) != kClassesRoot) return Status(StatusCode::kBadPathname);
    while (view.starts_with(u'\\')) view.remove_prefix(1);
  }
  path.Assign(view);
  if (path.longest() > kMaxKeyNameLength) return Status::InvalidParameter("key name too long");
  return Status();
}

// Stored string data is UTF-16LE; the A functions hand out ANSI.
std::string_view ToCallerData(DWORD type, const std::string& stored, Scratch& scratch) {
  if (!IsStringType(type)) return stored;
  scratch.text.resize(stored.size() / sizeof(char16_t));  // an odd last byte is no character
  std::memcpy(scratch.text.data(), stored.data(), scratch.text.size() * sizeof(char16_t));
  Codec().Encode(scratch.text, scratch.ansi2);
  return scratch.ansi2;
}

// Copies value data out with the platform's size rules (see RegQueryValueExA).
LONG CopyOutData(DWORD type, std::string_view data, LPBYTE out, LPDWORD size) {
  if (!size) return ERROR_SUCCESS;
  DWORD needed = static_cast<DWORD>(data.size());
  if (out) {
    if (*size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(out, data.data(), needed);
    // A string stored without its NUL gets one if the buffer has room.
    if (IsStringType(type) && needed > 0 && data.back() != '\0' && *size > needed) {
      out[needed] = 0;
    }
  }
  *size = needed;
  return ERROR_SUCCESS;
}

void CopyOutName(std::string_view name, LPSTR out) {
  std::memcpy(out, name.data(), name.size());
  out[name.size()] = '\0';
}

void FillFileTime(std::uint64_t ticks, PFILETIME out) {
  if (!out) return;
  out->dwLowDateTime = static_cast<DWORD>(ticks);
  out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

// Value names beyond the platform's limit cannot exist: lookups answer "not
// found" up to a point and "invalid parameter" beyond it.
Status CheckValueNameForLookup(std::u16string_view name) {
  if (name.size() > kMaxValueNameLookupLength) return Status::InvalidParameter();
  if (name.size() > kMaxValueNameLength) return Status::NotFound();
  return Status();
}

LONG OpenKeyWithAccess(HKEY hkey, LPCSTR sub_key, const AccessRequest& access, PHKEY result) {
  Scratch& scratch = GetScratch();
  std::string_view ansi = sub_key ? std::string_view(sub_key) : std::string_view();
  if (ansi.size() > kMaxAnsiSubKeyLength) return ERROR_MORE_DATA;
  std::uint32_t bits = HandleBits(hkey);
  if (ansi.empty() && IsPredefined(hkey)) {
    *result = hkey;  // a root opens as itself, HKEY_PERFORMANCE_DATA included
    return ERROR_SUCCESS;
  }
  if (bits == kHkpd) return ERROR_INVALID_HANDLE;
  Result<Target> target = Resolve(hkey);
  if (!target.ok()) return Win32FromStatus(target.status());
  KeyPath path;
  if (Status checked = ConvertSubKey(hkey, sub_key, scratch.path, path); !checked.ok()) {
    return Win32FromStatus(checked);
  }
  Result<OpenedKey> opened = target.value().store->OpenKey(target.value().key,
                                                           path.components(), access);
  if (!opened.ok()) return Win32FromStatus(opened.status());
  std::int32_t handle = HandleTable::Instance().Insert(
      HandleEntry{std::move(target.value().store), opened.value().id, opened.value().granted});
  if (handle == 0) return ERROR_NOT_ENOUGH_MEMORY;
  *result = HKeyFromLong(handle);
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  // A null handle is refused before the result is touched, as Windows does:
  // callers may rely on their own value surviving that failure.
  if (!hKey) return ERROR_INVALID_HANDLE;
  *phkResult = nullptr;
  return OpenKeyWithAccess(hKey, lpSubKey, MapDesiredAccess(samDesired), phkResult);
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  // An empty path gives back the handle passed, unchecked, as the platform does.
  if (!lpSubKey || !*lpSubKey) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  if (!hKey) return ERROR_INVALID_HANDLE;  // result untouched, as in RegOpenKeyExA
  *phkResult = nullptr;
  return OpenKeyWithAccess(hKey, lpSubKey, MapDesiredAccess(kMaximumAllowedMask), phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                     DWORD dwOptions, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (Reserved != 0) return ERROR_INVALID_PARAMETER;
  Scratch& scratch = GetScratch();
  std::string_view ansi = lpSubKey ? std::string_view(lpSubKey) : std::string_view();
  if (ansi.size() > kMaxAnsiSubKeyLength) return ERROR_MORE_DATA;
  Result<Target> target = Resolve(hKey);
  if (!target.ok()) return Win32FromStatus(target.status());
  KeyPath path;
  if (Status checked = ConvertSubKey(hKey, lpSubKey, scratch.path, path); !checked.ok()) {
    return Win32FromStatus(checked);
  }
  scratch.name.clear();
  if (lpClass) Codec().Decode(lpClass, scratch.name);
  Result<OpenedKey> created = target.value().store->CreateKey(
      target.value().key, path.components(), scratch.name,
      (dwOptions & REG_OPTION_VOLATILE) != 0, MapDesiredAccess(samDesired));
  if (!created.ok()) return Win32FromStatus(created.status());
  std::int32_t handle = HandleTable::Instance().Insert(
      HandleEntry{std::move(target.value().store), created.value().id, created.value().granted});
  if (handle == 0) return ERROR_NOT_ENOUGH_MEMORY;
  *phkResult = HKeyFromLong(handle);
  if (lpdwDisposition) {
    *lpdwDisposition = created.value().created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  }
  return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         kMaximumAllowedMask, nullptr, phkResult, nullptr);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved) return ERROR_INVALID_PARAMETER;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  Result<Target> target = Resolve(hKey);
  if (!target.ok()) return Win32FromStatus(target.status());
  if (!(target.value().access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  Scratch& scratch = GetScratch();
  Codec().Decode(lpValueName ? lpValueName : "", scratch.name);
  Status found = CheckValueNameForLookup(scratch.name);
  if (found.ok()) {
    found = target.value().store->QueryValue(target.value().key, scratch.name, &scratch.value);
  }
  if (found.code() == StatusCode::kNotFound) {
    if (lpType) *lpType = REG_NONE;
    if (!lpData && lpcbData) *lpcbData = 0;
    return ERROR_FILE_NOT_FOUND;
  }
  if (!found.ok()) return Win32FromStatus(found);
  const ValueData& value = scratch.value;
  if (lpType) *lpType = value.type;
  return CopyOutData(value.type, ToCallerData(value.type, value.data, scratch), lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  Result<Target> target = Resolve(hKey);
  if (!target.ok()) return Win32FromStatus(target.status());
  if (!(target.value().access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!lpData && cbData > 0) return ERROR_NOACCESS;
  Scratch& scratch = GetScratch();
  Codec().Decode(lpValueName ? lpValueName : "", scratch.name);
  if (scratch.name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  std::string_view data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
  if (IsStringType(dwType)) {
    // Only the bytes given are read; a string that leaves out its
    // terminating NUL is stored with one.
    scratch.ansi.assign(data);
    if (!scratch.ansi.empty() && scratch.ansi.back() != '\0') scratch.ansi.push_back('\0');
    Codec().Decode(scratch.ansi, scratch.text);
    scratch.stored.assign(reinterpret_cast<const char*>(scratch.text.data()),
                          scratch.text.size() * sizeof(char16_t));
    data = scratch.stored;
  }
  return Win32FromStatus(
      target.value().store->SetValue(target.value().key, scratch.name, dwType, data));
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                   LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                   PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  if (lpReserved && *lpReserved != 0) return ERROR_INVALID_PARAMETER;
  if (lpClass && !lpcchClass) return ERROR_INVALID_PARAMETER;
  Result<Target> target = Resolve(hKey);
  if (!target.ok()) return Win32FromStatus(target.status());
  if (!(target.value().access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  Result<SubkeyEntry> entry = target.value().store->EnumKey(target.value().key, dwIndex);
  if (!entry.ok()) return Win32FromStatus(entry.status());
  Scratch& scratch = GetScratch();
  Codec().Encode(entry.value().name, scratch.ansi);
  Codec().Encode(entry.value().class_name, scratch.ansi2);
  FillFileTime(entry.value().last_write, lpftLastWriteTime);
  if (*lpcchName <= scratch.ansi.size()) return ERROR_MORE_DATA;
  if (lpClass && *lpcchClass <= scratch.ansi2.size()) return ERROR_MORE_DATA;
  CopyOutName(scratch.ansi, lpName);
  *lpcchName = static_cast<DWORD>(scratch.ansi.size());
  if (lpClass) CopyOutName(scratch.ansi2, lpClass);
  if (lpcchClass) *lpcchClass = static_cast<DWORD>(scratch.ansi2.size());
  return ERROR_SUCCESS;
}

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
  DWORD length = cchName;
  return RegEnumKeyExA(hKey, dwIndex, lpName, &length, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  if (lpReserved && *lpReserved != 0) return ERROR_INVALID_PARAMETER;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  Result<Target> target = Resolve(hKey);
  if (!target.ok()) return Win32FromStatus(target.status());
  if (!(target.value().access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  Result<ValueEntry> entry = target.value().store->EnumValue(target.value().key, dwIndex);
  if (!entry.ok()) return Win32FromStatus(entry.status());
  Scratch& scratch = GetScratch();
  Codec().Encode(entry.value().name, scratch.ansi);
  std::string_view data = ToCallerData(entry.value().type, entry.value().data, scratch);
  if (lpType) *lpType = entry.value().type;
  // Either buffer too small: both stay untouched, the name length too; the
  // data size still tells what is needed.
  bool name_fits = *lpcchValueName > scratch.ansi.size();
  bool data_fits = !lpData || *lpcbData >= data.size();
  if (!name_fits || !data_fits) {
    if (lpcbData) *lpcbData = static_cast<DWORD>(data.size());
    return ERROR_MORE_DATA;
  }
  CopyOutName(scratch.ansi, lpValueName);
  *lpcchValueName = static_cast<DWORD>(scratch.ansi.size());
  return CopyOutData(entry.value().type, data, lpData, lpcbData);
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD /*lpReserved*/,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpClass && !lpcchClass) return ERROR_INVALID_PARAMETER;
  Result<Target> target = Resolve(hKey);
  if (!target.ok()) return Win32FromStatus(target.status());
  Result<KeyInfo> info = target.value().store->QueryInfo(target.value().key);
  if (!info.ok()) return Win32FromStatus(info.status());
  const KeyInfo& key = info.value();
  if (lpcSubKeys) *lpcSubKeys = key.subkeys;
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = key.max_subkey_len;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = key.max_class_len;
  if (lpcValues) *lpcValues = key.values;
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = key.max_value_name_len;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = key.max_value_len;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;  // keys carry no descriptor
  FillFileTime(key.last_write, lpftLastWriteTime);
  if (!lpcchClass) return ERROR_SUCCESS;
  Scratch& scratch = GetScratch();
  Codec().Encode(key.class_name, scratch.ansi);
  DWORD length = static_cast<DWORD>(scratch.ansi.size());
  if (!lpClass || *lpcchClass == 0) {
    *lpcchClass = length;
    return ERROR_SUCCESS;
  }
  if (*lpcchClass <= length) {
    // Too small: as much as fits, NUL-terminated.
    DWORD fits = *lpcchClass - 1;
    std::memcpy(lpClass, scratch.ansi.data(), fits);
    lpClass[fits] = '\0';
    *lpcchClass = fits;
    return ERROR_MORE_DATA;
  }
  CopyOutName(scratch.ansi, lpClass);
  *lpcchClass = length;
  return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  if (std::strlen(lpSubKey) > kMaxAnsiSubKeyLength) return ERROR_MORE_DATA;
  Result<Target> target = Resolve(hKey);
  if (!target.ok()) return Win32FromStatus(target.status());
  Scratch& scratch = GetScratch();
  KeyPath path;
  if (Status checked = ConvertSubKey(hKey, lpSubKey, scratch.path, path); !checked.ok()) {
    return Win32FromStatus(checked);
  }
  // The rights of the handle do not matter: deleting is checked against the
  // key's own grant.
  return Win32FromStatus(target.value().store->DeleteKey(target.value().key, path.components()));
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  Result<Target> target = Resolve(hKey);
  if (!target.ok()) return Win32FromStatus(target.status());
  if (!(target.value().access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  Scratch& scratch = GetScratch();
  Codec().Decode(lpValueName ? lpValueName : "", scratch.name);
  if (Status checked = CheckValueNameForLookup(scratch.name); !checked.ok()) {
    return Win32FromStatus(checked);
  }
  return Win32FromStatus(target.value().store->DeleteValue(target.value().key, scratch.name));
}

LONG RegCloseKey(HKEY hKey) {
  std::uint32_t bits = HandleBits(hKey);
  if (bits >= kClassesRoot) return ERROR_SUCCESS;  // roots (and anything like one) stay open
  return HandleTable::Instance().Remove(static_cast<std::int32_t>(bits)) ? ERROR_SUCCESS
                                                                         : ERROR_INVALID_HANDLE;
}

LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  std::u16string name;
  if (lpMachineName) Codec().Decode(lpMachineName, name);
  if (IsLocalComputerName(name)) {
    *phkResult = hKey;  // the local registry: the handle itself, unchecked
    return ERROR_SUCCESS;
  }
  Result<StoreRef> store = ComputerStore(name);
  if (!store.ok()) return Win32FromStatus(store.status());
  std::uint32_t bits = HandleBits(hKey);
  if (bits != kHklm && bits != kHku) return ERROR_INVALID_HANDLE;
  Result<KeyId> root = store.value()->Predefined(bits == kHklm ? PredefinedKey::kLocalMachine
                                                               : PredefinedKey::kUsers);
  if (!root.ok()) return Win32FromStatus(root.status());
  std::int32_t handle = HandleTable::Instance().Insert(
      HandleEntry{std::move(store).value(), root.value(), kAllKeyAccess});
  if (handle == 0) return ERROR_NOT_ENOUGH_MEMORY;
  *phkResult = HKeyFromLong(handle);
  return ERROR_SUCCESS;
}

void RtlMoveMemory(void* Destination, const void* Source, SIZE_T Length) {
  if (Length == 0 || !Destination || !Source) return;
  std::memmove(Destination, Source, Length);
}

}  // namespace keystrel::platform
