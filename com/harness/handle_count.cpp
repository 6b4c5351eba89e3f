#include "com/harness/handle_count.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace keystrel::harness {
namespace {

// SystemExtendedHandleInformation (64): every handle of every process, with
// the owning process id and the handle value.
constexpr int kExtendedHandleInformation = 64;
constexpr int kObjectTypeInformation = 2;

struct HandleEntry {
  PVOID object;
  ULONG_PTR process_id;
  ULONG_PTR handle;
  ULONG granted_access;
  USHORT creator_back_trace_index;
  USHORT object_type_index;
  ULONG attributes;
  ULONG reserved;
};
struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry handles[1];
};

using QuerySystem = NTSTATUS(NTAPI*)(int, PVOID, ULONG, PULONG);
using QueryObject = NTSTATUS(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

template <class F>
F Ntdll(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

bool IsKey(QueryObject query, HANDLE h) {
  alignas(8) unsigned char buffer[512];
  ULONG length = 0;
  if (query(h, kObjectTypeInformation, buffer, sizeof buffer, &length) != 0) return false;
  const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
  return name->Length == 3 * sizeof(wchar_t) && std::wcsncmp(name->Buffer, L"Key", 3) == 0;
}

}  // namespace

std::int64_t OpenKeyHandles() {
  static const auto query_system = Ntdll<QuerySystem>("NtQuerySystemInformation");
  static const auto query_object = Ntdll<QueryObject>("NtQueryObject");
  if (!query_system || !query_object) return -1;
  std::vector<unsigned char> buffer(1 << 18);
  NTSTATUS status;
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    status = query_system(kExtendedHandleInformation, buffer.data(),
                          static_cast<ULONG>(buffer.size()), &needed);
    if (status != static_cast<NTSTATUS>(0xC0000004)) break;  // STATUS_INFO_LENGTH_MISMATCH
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
  }
  if (status != 0) return -1;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  const ULONG_PTR self = GetCurrentProcessId();
  std::int64_t keys = 0;
  for (ULONG_PTR i = 0; i < table->count; ++i) {
    const HandleEntry& e = table->handles[i];
    if (e.process_id == self && IsKey(query_object, reinterpret_cast<HANDLE>(e.handle))) ++keys;
  }
  return keys;
}

void TouchPredefinedRoots() {
  const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                        HKEY_CURRENT_CONFIG};
  for (HKEY root : roots) {
    DWORD subkeys = 0;
    RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    // A subkey opened and closed too: the first open below a root is where
    // the system library makes its cached handle.
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(root, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == 0) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(root, name, 0, KEY_READ, &key) == 0) RegCloseKey(key);
    }
  }
}

void RemoveStaleProgIdKey(const wchar_t* progid) {
  const std::wstring clsid_key = std::wstring(progid) + L"\\CLSID";
  wchar_t clsid[64] = {};
  DWORD size = sizeof clsid - sizeof(wchar_t);
  DWORD type = 0;
  if (RegGetValueW(HKEY_CLASSES_ROOT, clsid_key.c_str(), nullptr, RRF_RT_REG_SZ, &type, clsid,
                   &size) != ERROR_SUCCESS) {
    return;
  }
  HKEY registered = nullptr;
  const std::wstring class_key = std::wstring(L"CLSID\\") + clsid;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, class_key.c_str(), 0, KEY_READ, &registered) ==
      ERROR_SUCCESS) {
    RegCloseKey(registered);
    return;
  }
  RegDeleteKeyW(HKEY_CLASSES_ROOT, clsid_key.c_str());
  // Only when nothing else lives below it.
  RegDeleteKeyW(HKEY_CLASSES_ROOT, progid);
}

}  // namespace keystrel::harness
