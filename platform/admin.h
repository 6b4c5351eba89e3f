// Administration of the stores behind platform/registry.h: which store serves
// the local computer, which other computers RegConnectRegistryA reaches, raw
// seeding and access grants, and the open-handle count used by leak checks.
// Tools, tests and the conformance runner use this; the classes never do.
//
// Key paths here are full paths starting with a root name or its abbreviation
// (HKEY_LOCAL_MACHINE or HKLM, HKEY_CURRENT_USER or HKCU, HKCR, HKU, HKCC,
// HKEY_DYN_DATA), then "\" and the path; the aliases of HKCR, HKCU and HKCC
// resolve as the registry functions resolve them. Names are UTF-16.
//
// Every function returns a Win32 result (0 on success). Thread safety: safe from
// any thread, but replacing a store while other threads use handles to it
// leaves those handles answering 6.
#ifndef KEYSTREL_PLATFORM_ADMIN_H_
#define KEYSTREL_PLATFORM_ADMIN_H_

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

namespace keystrel::platform {

enum class StoreKind { kMemory, kSqlite };

// Makes a fresh store of that kind serve the local computer and closes every
// open handle. For kSqlite, `location` is the file (created with mode 0600 and
// its folder when missing); for kMemory it is ignored.
std::int32_t UseLocalStore(StoreKind kind, const std::string& location = {});

// The embedded default: $KEYSTREL_REGISTRY (a path, or "memory:"), else
// $XDG_DATA_HOME/keystrel/registry.db, else ~/.local/share/keystrel/registry.db.
std::int32_t UseDefaultStore();

// The location UseDefaultStore would open ("memory:" for the memory store).
std::string DefaultStoreLocation();

// Removes every key and value of the local store, keeping the roots and the
// keys the roots' views need. Closes every open handle.
std::int32_t ClearLocalStore();

// Other computers. After AddComputer, RegConnectRegistryA(name or \\name)
// reaches a store of its own (kMemory: fresh and empty; kSqlite: that file).
// ClearComputers forgets them all; $KEYSTREL_COMPUTERS is read again on the
// next connection.
std::int32_t AddComputer(std::u16string_view name, StoreKind kind,
                         const std::string& location = {});
void ClearComputers();

// Seeding and inspection without handles. `computer` empty means the local
// store. AdminCreateKey creates missing parents. AdminSetValue stores `data`
// exactly: for string types (1, 2, 7) it is the ANSI text an ANSI read would
// return and is converted to Unicode with nothing added or removed.
std::int32_t AdminCreateKey(std::u16string_view computer, std::u16string_view key_path);
std::int32_t AdminSetValue(std::u16string_view computer, std::u16string_view key_path,
                           std::u16string_view value_name, std::uint32_t type,
                           std::span<const std::uint8_t> data);

// Access grants: the rights a key grants to anyone who opens or creates it
// (default 0xF003F, everything). Opening with rights outside the grant gives 5.
std::int32_t AdminSetGrant(std::u16string_view computer, std::u16string_view key_path,
                           std::uint32_t grant);
std::int32_t AdminGetGrant(std::u16string_view computer, std::u16string_view key_path,
                           std::uint32_t* grant);

// Environment variables seen by ExpandEnvironmentStringsA in addition to (and
// before) the process environment. An empty map removes the overlay.
void SetEnvironmentOverlay(std::map<std::u16string, std::u16string> vars);

// Key handles open in the process, predefined roots not counted.
std::size_t OpenHandleCount();

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_ADMIN_H_
