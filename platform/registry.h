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

#include <cstring>

// <windows.h> gives the constants as macros, which cannot be named with a
// namespace (platform::ERROR_SUCCESS). Each is captured, undefined and
// declared again as a constant of the same name and value, globally and in
// our namespace, so code compiles the same against either branch.
namespace keystrel::platform::win32_detail {
inline constexpr LONG k_ERROR_SUCCESS = ERROR_SUCCESS;
inline constexpr LONG k_ERROR_FILE_NOT_FOUND = ERROR_FILE_NOT_FOUND;
inline constexpr LONG k_ERROR_ACCESS_DENIED = ERROR_ACCESS_DENIED;
inline constexpr LONG k_ERROR_INVALID_HANDLE = ERROR_INVALID_HANDLE;
inline constexpr LONG k_ERROR_NOT_ENOUGH_MEMORY = ERROR_NOT_ENOUGH_MEMORY;
inline constexpr LONG k_ERROR_BAD_NETPATH = ERROR_BAD_NETPATH;
inline constexpr LONG k_ERROR_INVALID_PARAMETER = ERROR_INVALID_PARAMETER;
inline constexpr LONG k_ERROR_INSUFFICIENT_BUFFER = ERROR_INSUFFICIENT_BUFFER;
inline constexpr LONG k_ERROR_BAD_PATHNAME = ERROR_BAD_PATHNAME;
inline constexpr LONG k_ERROR_MORE_DATA = ERROR_MORE_DATA;
inline constexpr LONG k_ERROR_NO_MORE_ITEMS = ERROR_NO_MORE_ITEMS;
inline constexpr LONG k_ERROR_NOACCESS = ERROR_NOACCESS;
inline constexpr LONG k_ERROR_CANTOPEN = ERROR_CANTOPEN;
inline constexpr LONG k_ERROR_CANTREAD = ERROR_CANTREAD;
inline constexpr LONG k_ERROR_CANTWRITE = ERROR_CANTWRITE;
inline constexpr LONG k_ERROR_REGISTRY_RECOVERED = ERROR_REGISTRY_RECOVERED;
inline constexpr LONG k_ERROR_REGISTRY_CORRUPT = ERROR_REGISTRY_CORRUPT;
inline constexpr LONG k_ERROR_REGISTRY_IO_FAILED = ERROR_REGISTRY_IO_FAILED;
inline constexpr LONG k_ERROR_BADDB = ERROR_BADDB;
inline constexpr LONG k_ERROR_BADKEY = ERROR_BADKEY;
inline constexpr LONG k_ERROR_KEY_DELETED = ERROR_KEY_DELETED;
inline constexpr LONG k_ERROR_CHILD_MUST_BE_VOLATILE = ERROR_CHILD_MUST_BE_VOLATILE;
inline constexpr REGSAM k_KEY_QUERY_VALUE = KEY_QUERY_VALUE;
inline constexpr REGSAM k_KEY_SET_VALUE = KEY_SET_VALUE;
inline constexpr REGSAM k_KEY_CREATE_SUB_KEY = KEY_CREATE_SUB_KEY;
inline constexpr REGSAM k_KEY_ENUMERATE_SUB_KEYS = KEY_ENUMERATE_SUB_KEYS;
inline constexpr REGSAM k_KEY_NOTIFY = KEY_NOTIFY;
inline constexpr REGSAM k_KEY_CREATE_LINK = KEY_CREATE_LINK;
inline constexpr REGSAM k_KEY_WOW64_64KEY = KEY_WOW64_64KEY;
inline constexpr REGSAM k_KEY_WOW64_32KEY = KEY_WOW64_32KEY;
inline constexpr REGSAM k_KEY_READ = KEY_READ;
inline constexpr REGSAM k_KEY_WRITE = KEY_WRITE;
inline constexpr REGSAM k_KEY_EXECUTE = KEY_EXECUTE;
inline constexpr REGSAM k_KEY_ALL_ACCESS = KEY_ALL_ACCESS;
inline constexpr DWORD k_REG_OPTION_NON_VOLATILE = REG_OPTION_NON_VOLATILE;
inline constexpr DWORD k_REG_OPTION_VOLATILE = REG_OPTION_VOLATILE;
inline constexpr DWORD k_REG_CREATED_NEW_KEY = REG_CREATED_NEW_KEY;
inline constexpr DWORD k_REG_OPENED_EXISTING_KEY = REG_OPENED_EXISTING_KEY;
inline constexpr DWORD k_REG_NONE = REG_NONE;
inline constexpr DWORD k_REG_SZ = REG_SZ;
inline constexpr DWORD k_REG_EXPAND_SZ = REG_EXPAND_SZ;
inline constexpr DWORD k_REG_BINARY = REG_BINARY;
inline constexpr DWORD k_REG_DWORD = REG_DWORD;
inline constexpr DWORD k_REG_DWORD_LITTLE_ENDIAN = REG_DWORD_LITTLE_ENDIAN;
inline constexpr DWORD k_REG_DWORD_BIG_ENDIAN = REG_DWORD_BIG_ENDIAN;
inline constexpr DWORD k_REG_LINK = REG_LINK;
inline constexpr DWORD k_REG_MULTI_SZ = REG_MULTI_SZ;
inline constexpr DWORD k_REG_RESOURCE_LIST = REG_RESOURCE_LIST;
inline constexpr DWORD k_REG_FULL_RESOURCE_DESCRIPTOR = REG_FULL_RESOURCE_DESCRIPTOR;
inline constexpr DWORD k_REG_RESOURCE_REQUIREMENTS_LIST = REG_RESOURCE_REQUIREMENTS_LIST;
inline constexpr DWORD k_REG_QWORD = REG_QWORD;
inline HKEY const k_HKEY_CLASSES_ROOT = HKEY_CLASSES_ROOT;
inline HKEY const k_HKEY_CURRENT_USER = HKEY_CURRENT_USER;
inline HKEY const k_HKEY_LOCAL_MACHINE = HKEY_LOCAL_MACHINE;
inline HKEY const k_HKEY_USERS = HKEY_USERS;
inline HKEY const k_HKEY_PERFORMANCE_DATA = HKEY_PERFORMANCE_DATA;
inline HKEY const k_HKEY_CURRENT_CONFIG = HKEY_CURRENT_CONFIG;
inline HKEY const k_HKEY_DYN_DATA = HKEY_DYN_DATA;
}  // namespace keystrel::platform::win32_detail
#undef ERROR_SUCCESS
inline constexpr LONG ERROR_SUCCESS = keystrel::platform::win32_detail::k_ERROR_SUCCESS;
#undef ERROR_FILE_NOT_FOUND
inline constexpr LONG ERROR_FILE_NOT_FOUND = keystrel::platform::win32_detail::k_ERROR_FILE_NOT_FOUND;
#undef ERROR_ACCESS_DENIED
inline constexpr LONG ERROR_ACCESS_DENIED = keystrel::platform::win32_detail::k_ERROR_ACCESS_DENIED;
#undef ERROR_INVALID_HANDLE
inline constexpr LONG ERROR_INVALID_HANDLE = keystrel::platform::win32_detail::k_ERROR_INVALID_HANDLE;
#undef ERROR_NOT_ENOUGH_MEMORY
inline constexpr LONG ERROR_NOT_ENOUGH_MEMORY = keystrel::platform::win32_detail::k_ERROR_NOT_ENOUGH_MEMORY;
#undef ERROR_BAD_NETPATH
inline constexpr LONG ERROR_BAD_NETPATH = keystrel::platform::win32_detail::k_ERROR_BAD_NETPATH;
#undef ERROR_INVALID_PARAMETER
inline constexpr LONG ERROR_INVALID_PARAMETER = keystrel::platform::win32_detail::k_ERROR_INVALID_PARAMETER;
#undef ERROR_INSUFFICIENT_BUFFER
inline constexpr LONG ERROR_INSUFFICIENT_BUFFER = keystrel::platform::win32_detail::k_ERROR_INSUFFICIENT_BUFFER;
#undef ERROR_BAD_PATHNAME
inline constexpr LONG ERROR_BAD_PATHNAME = keystrel::platform::win32_detail::k_ERROR_BAD_PATHNAME;
#undef ERROR_MORE_DATA
inline constexpr LONG ERROR_MORE_DATA = keystrel::platform::win32_detail::k_ERROR_MORE_DATA;
#undef ERROR_NO_MORE_ITEMS
inline constexpr LONG ERROR_NO_MORE_ITEMS = keystrel::platform::win32_detail::k_ERROR_NO_MORE_ITEMS;
#undef ERROR_NOACCESS
inline constexpr LONG ERROR_NOACCESS = keystrel::platform::win32_detail::k_ERROR_NOACCESS;
#undef ERROR_CANTOPEN
inline constexpr LONG ERROR_CANTOPEN = keystrel::platform::win32_detail::k_ERROR_CANTOPEN;
#undef ERROR_CANTREAD
inline constexpr LONG ERROR_CANTREAD = keystrel::platform::win32_detail::k_ERROR_CANTREAD;
#undef ERROR_CANTWRITE
inline constexpr LONG ERROR_CANTWRITE = keystrel::platform::win32_detail::k_ERROR_CANTWRITE;
#undef ERROR_REGISTRY_RECOVERED
inline constexpr LONG ERROR_REGISTRY_RECOVERED = keystrel::platform::win32_detail::k_ERROR_REGISTRY_RECOVERED;
#undef ERROR_REGISTRY_CORRUPT
inline constexpr LONG ERROR_REGISTRY_CORRUPT = keystrel::platform::win32_detail::k_ERROR_REGISTRY_CORRUPT;
#undef ERROR_REGISTRY_IO_FAILED
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = keystrel::platform::win32_detail::k_ERROR_REGISTRY_IO_FAILED;
#undef ERROR_BADDB
inline constexpr LONG ERROR_BADDB = keystrel::platform::win32_detail::k_ERROR_BADDB;
#undef ERROR_BADKEY
inline constexpr LONG ERROR_BADKEY = keystrel::platform::win32_detail::k_ERROR_BADKEY;
#undef ERROR_KEY_DELETED
inline constexpr LONG ERROR_KEY_DELETED = keystrel::platform::win32_detail::k_ERROR_KEY_DELETED;
#undef ERROR_CHILD_MUST_BE_VOLATILE
inline constexpr LONG ERROR_CHILD_MUST_BE_VOLATILE = keystrel::platform::win32_detail::k_ERROR_CHILD_MUST_BE_VOLATILE;
#undef KEY_QUERY_VALUE
inline constexpr REGSAM KEY_QUERY_VALUE = keystrel::platform::win32_detail::k_KEY_QUERY_VALUE;
#undef KEY_SET_VALUE
inline constexpr REGSAM KEY_SET_VALUE = keystrel::platform::win32_detail::k_KEY_SET_VALUE;
#undef KEY_CREATE_SUB_KEY
inline constexpr REGSAM KEY_CREATE_SUB_KEY = keystrel::platform::win32_detail::k_KEY_CREATE_SUB_KEY;
#undef KEY_ENUMERATE_SUB_KEYS
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = keystrel::platform::win32_detail::k_KEY_ENUMERATE_SUB_KEYS;
#undef KEY_NOTIFY
inline constexpr REGSAM KEY_NOTIFY = keystrel::platform::win32_detail::k_KEY_NOTIFY;
#undef KEY_CREATE_LINK
inline constexpr REGSAM KEY_CREATE_LINK = keystrel::platform::win32_detail::k_KEY_CREATE_LINK;
#undef KEY_WOW64_64KEY
inline constexpr REGSAM KEY_WOW64_64KEY = keystrel::platform::win32_detail::k_KEY_WOW64_64KEY;
#undef KEY_WOW64_32KEY
inline constexpr REGSAM KEY_WOW64_32KEY = keystrel::platform::win32_detail::k_KEY_WOW64_32KEY;
#undef KEY_READ
inline constexpr REGSAM KEY_READ = keystrel::platform::win32_detail::k_KEY_READ;
#undef KEY_WRITE
inline constexpr REGSAM KEY_WRITE = keystrel::platform::win32_detail::k_KEY_WRITE;
#undef KEY_EXECUTE
inline constexpr REGSAM KEY_EXECUTE = keystrel::platform::win32_detail::k_KEY_EXECUTE;
#undef KEY_ALL_ACCESS
inline constexpr REGSAM KEY_ALL_ACCESS = keystrel::platform::win32_detail::k_KEY_ALL_ACCESS;
#undef REG_OPTION_NON_VOLATILE
inline constexpr DWORD REG_OPTION_NON_VOLATILE = keystrel::platform::win32_detail::k_REG_OPTION_NON_VOLATILE;
#undef REG_OPTION_VOLATILE
inline constexpr DWORD REG_OPTION_VOLATILE = keystrel::platform::win32_detail::k_REG_OPTION_VOLATILE;
#undef REG_CREATED_NEW_KEY
inline constexpr DWORD REG_CREATED_NEW_KEY = keystrel::platform::win32_detail::k_REG_CREATED_NEW_KEY;
#undef REG_OPENED_EXISTING_KEY
inline constexpr DWORD REG_OPENED_EXISTING_KEY = keystrel::platform::win32_detail::k_REG_OPENED_EXISTING_KEY;
#undef REG_NONE
inline constexpr DWORD REG_NONE = keystrel::platform::win32_detail::k_REG_NONE;
#undef REG_SZ
inline constexpr DWORD REG_SZ = keystrel::platform::win32_detail::k_REG_SZ;
#undef REG_EXPAND_SZ
inline constexpr DWORD REG_EXPAND_SZ = keystrel::platform::win32_detail::k_REG_EXPAND_SZ;
#undef REG_BINARY
inline constexpr DWORD REG_BINARY = keystrel::platform::win32_detail::k_REG_BINARY;
#undef REG_DWORD
inline constexpr DWORD REG_DWORD = keystrel::platform::win32_detail::k_REG_DWORD;
#undef REG_DWORD_LITTLE_ENDIAN
inline constexpr DWORD REG_DWORD_LITTLE_ENDIAN = keystrel::platform::win32_detail::k_REG_DWORD_LITTLE_ENDIAN;
#undef REG_DWORD_BIG_ENDIAN
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = keystrel::platform::win32_detail::k_REG_DWORD_BIG_ENDIAN;
#undef REG_LINK
inline constexpr DWORD REG_LINK = keystrel::platform::win32_detail::k_REG_LINK;
#undef REG_MULTI_SZ
inline constexpr DWORD REG_MULTI_SZ = keystrel::platform::win32_detail::k_REG_MULTI_SZ;
#undef REG_RESOURCE_LIST
inline constexpr DWORD REG_RESOURCE_LIST = keystrel::platform::win32_detail::k_REG_RESOURCE_LIST;
#undef REG_FULL_RESOURCE_DESCRIPTOR
inline constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = keystrel::platform::win32_detail::k_REG_FULL_RESOURCE_DESCRIPTOR;
#undef REG_RESOURCE_REQUIREMENTS_LIST
inline constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = keystrel::platform::win32_detail::k_REG_RESOURCE_REQUIREMENTS_LIST;
#undef REG_QWORD
inline constexpr DWORD REG_QWORD = keystrel::platform::win32_detail::k_REG_QWORD;
#undef HKEY_CLASSES_ROOT
inline HKEY const HKEY_CLASSES_ROOT = keystrel::platform::win32_detail::k_HKEY_CLASSES_ROOT;
#undef HKEY_CURRENT_USER
inline HKEY const HKEY_CURRENT_USER = keystrel::platform::win32_detail::k_HKEY_CURRENT_USER;
#undef HKEY_LOCAL_MACHINE
inline HKEY const HKEY_LOCAL_MACHINE = keystrel::platform::win32_detail::k_HKEY_LOCAL_MACHINE;
#undef HKEY_USERS
inline HKEY const HKEY_USERS = keystrel::platform::win32_detail::k_HKEY_USERS;
#undef HKEY_PERFORMANCE_DATA
inline HKEY const HKEY_PERFORMANCE_DATA = keystrel::platform::win32_detail::k_HKEY_PERFORMANCE_DATA;
#undef HKEY_CURRENT_CONFIG
inline HKEY const HKEY_CURRENT_CONFIG = keystrel::platform::win32_detail::k_HKEY_CURRENT_CONFIG;
#undef HKEY_DYN_DATA
inline HKEY const HKEY_DYN_DATA = keystrel::platform::win32_detail::k_HKEY_DYN_DATA;
#undef RtlMoveMemory

namespace keystrel::platform {
using ::LONG;
using ::DWORD;
using ::BYTE;
using ::BOOL;
using ::CHAR;
using ::SIZE_T;
using ::LPSTR;
using ::LPCSTR;
using ::LPBYTE;
using ::LPDWORD;
using ::LPVOID;
using ::REGSAM;
using ::HKEY;
using ::PHKEY;
using ::FILETIME;
using ::PFILETIME;
using ::SECURITY_ATTRIBUTES;
using ::LPSECURITY_ATTRIBUTES;
using ::ERROR_SUCCESS;
using ::ERROR_FILE_NOT_FOUND;
using ::ERROR_ACCESS_DENIED;
using ::ERROR_INVALID_HANDLE;
using ::ERROR_NOT_ENOUGH_MEMORY;
using ::ERROR_BAD_NETPATH;
using ::ERROR_INVALID_PARAMETER;
using ::ERROR_INSUFFICIENT_BUFFER;
using ::ERROR_BAD_PATHNAME;
using ::ERROR_MORE_DATA;
using ::ERROR_NO_MORE_ITEMS;
using ::ERROR_NOACCESS;
using ::ERROR_CANTOPEN;
using ::ERROR_CANTREAD;
using ::ERROR_CANTWRITE;
using ::ERROR_REGISTRY_RECOVERED;
using ::ERROR_REGISTRY_CORRUPT;
using ::ERROR_REGISTRY_IO_FAILED;
using ::ERROR_BADDB;
using ::ERROR_BADKEY;
using ::ERROR_KEY_DELETED;
using ::ERROR_CHILD_MUST_BE_VOLATILE;
using ::KEY_QUERY_VALUE;
using ::KEY_SET_VALUE;
using ::KEY_CREATE_SUB_KEY;
using ::KEY_ENUMERATE_SUB_KEYS;
using ::KEY_NOTIFY;
using ::KEY_CREATE_LINK;
using ::KEY_WOW64_64KEY;
using ::KEY_WOW64_32KEY;
using ::KEY_READ;
using ::KEY_WRITE;
using ::KEY_EXECUTE;
using ::KEY_ALL_ACCESS;
using ::REG_OPTION_NON_VOLATILE;
using ::REG_OPTION_VOLATILE;
using ::REG_CREATED_NEW_KEY;
using ::REG_OPENED_EXISTING_KEY;
using ::REG_NONE;
using ::REG_SZ;
using ::REG_EXPAND_SZ;
using ::REG_BINARY;
using ::REG_DWORD;
using ::REG_DWORD_LITTLE_ENDIAN;
using ::REG_DWORD_BIG_ENDIAN;
using ::REG_LINK;
using ::REG_MULTI_SZ;
using ::REG_RESOURCE_LIST;
using ::REG_FULL_RESOURCE_DESCRIPTOR;
using ::REG_RESOURCE_REQUIREMENTS_LIST;
using ::REG_QWORD;
using ::HKEY_CLASSES_ROOT;
using ::HKEY_CURRENT_USER;
using ::HKEY_LOCAL_MACHINE;
using ::HKEY_USERS;
using ::HKEY_PERFORMANCE_DATA;
using ::HKEY_CURRENT_CONFIG;
using ::HKEY_DYN_DATA;
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
// A macro for memmove in <windows.h>.
inline void RtlMoveMemory(void* dst, const void* src, SIZE_T n) { std::memmove(dst, src, n); }
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
