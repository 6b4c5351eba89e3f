// The registry functions the classes call, with their Win32 names, signatures
// and results.
//
// Code written against this header compiles unchanged against the real
// advapi32/kernel32: on Windows the header brings in <windows.h> and names the
// real functions; elsewhere it declares our own, served by the store chosen in
// platform/admin.h. Keep every shape exactly as Win32 has it.
//
// Thread safety: every function may be called from any thread at any time; the
// handle table and the stores do their own locking.
#ifndef KEYSTREL_PLATFORM_REGISTRY_H_
#define KEYSTREL_PLATFORM_REGISTRY_H_

#ifdef _WIN32
#include <windows.h>

namespace keystrel::platform {
using ::ExpandEnvironmentStringsA;
using ::RegCloseKey;
using ::RegConnectRegistryA;
using ::RegCreateKeyA;
using ::RegCreateKeyExA;
using ::RegDeleteKeyA;
using ::RegDeleteValueA;
using ::RegEnumKeyA;
using ::RegEnumKeyExA;
using ::RegEnumValueA;
using ::RegOpenKeyA;
using ::RegOpenKeyExA;
using ::RegQueryInfoKeyA;
using ::RegQueryValueExA;
using ::RegSetValueExA;
inline void RtlMoveMemory(void* dst, const void* src, SIZE_T n) { ::RtlMoveMemory(dst, src, n); }
}  // namespace keystrel::platform

#else  // !_WIN32

#include <cstddef>
#include <cstdint>

namespace keystrel::platform {

using LONG = std::int32_t;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using BOOL = int;
using CHAR = char;
using SIZE_T = std::size_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPVOID = void*;
using REGSAM = DWORD;

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Predefined roots, sign-extended as 64-bit Windows has them.
#define KEYSTREL_PREDEFINED_HKEY(v) \
  reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(v)))
inline HKEY const HKEY_CLASSES_ROOT = KEYSTREL_PREDEFINED_HKEY(0x80000000u);
inline HKEY const HKEY_CURRENT_USER = KEYSTREL_PREDEFINED_HKEY(0x80000001u);
inline HKEY const HKEY_LOCAL_MACHINE = KEYSTREL_PREDEFINED_HKEY(0x80000002u);
inline HKEY const HKEY_USERS = KEYSTREL_PREDEFINED_HKEY(0x80000003u);
inline HKEY const HKEY_PERFORMANCE_DATA = KEYSTREL_PREDEFINED_HKEY(0x80000004u);
inline HKEY const HKEY_CURRENT_CONFIG = KEYSTREL_PREDEFINED_HKEY(0x80000005u);
inline HKEY const HKEY_DYN_DATA = KEYSTREL_PREDEFINED_HKEY(0x80000006u);
#undef KEYSTREL_PREDEFINED_HKEY

// Results.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LONG ERROR_BAD_NETPATH = 53;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr LONG ERROR_BAD_PATHNAME = 161;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_NOACCESS = 998;
inline constexpr LONG ERROR_CANTOPEN = 1011;
inline constexpr LONG ERROR_CANTREAD = 1012;
inline constexpr LONG ERROR_CANTWRITE = 1013;
inline constexpr LONG ERROR_REGISTRY_RECOVERED = 1014;
inline constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_BADKEY = 1010;
inline constexpr LONG ERROR_KEY_DELETED = 1018;
inline constexpr LONG ERROR_CHILD_MUST_BE_VOLATILE = 1021;

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_EXECUTE = 0x20019;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_OPTION_VOLATILE = 1;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_RESOURCE_LIST = 8;
inline constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr DWORD REG_QWORD = 11;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);
LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                     PHKEY phkResult, LPDWORD lpdwDisposition);
LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                   LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                   PFILETIME lpftLastWriteTime);
LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName);
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
LONG RegCloseKey(HKEY hKey);
LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);
void RtlMoveMemory(void* Destination, const void* Source, SIZE_T Length);
DWORD ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);

}  // namespace keystrel::platform

#endif  // _WIN32

#include "platform/hkey_cast.h"

#endif  // KEYSTREL_PLATFORM_REGISTRY_H_
