// The Windows side of the registry suites' fixture (see
// registry_fixture_win32.h).
#include "platform/registry_fixture_win32.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace keystrel::platform {
namespace {

// Tests that cannot pass under Wine because Wine answers differently from
// Windows. Each text is also a line of com/known-differences.md ("Platform
// suite"); run-under-wine checks that the two agree.
struct KnownDifference {
  const char* test;  // "Suite.Name", without instantiation prefix or parameter
  const char* why;
};
constexpr KnownDifference kWineDifferences[] = {
    {"RegistryEnumTest.SubkeysEnumerateInUpperCaseOrdinalOrder",
     "Wine orders subkeys by their lower-cased names (so [ ^ _ and the backtick come before the "
     "letters and a_ before ab), Windows by their upper-cased names as the hive's index does"},
    {"RegistryEnumTest.ValuesEnumerateInInsertionOrder",
     "Wine enumerates values sorted by name, Windows in the order they were first set "
     "(test_rw_order of Wine's own tests, todo_wine)"},
    {"RegistryTest.PathSyntax",
     "Wine accepts a key name component of 256 characters, Windows refuses more than 255 "
     "(documented limit)"},
    {"RegistryValuesTest.BadDataPointers",
     "Wine reads through a null data pointer for a string type and crashes, Windows answers "
     "998 (Wine's own tests on Windows, for RegSetValueExW)"},
};

// The keys the tests make: the test key, and the keys that check the views
// of HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG and HKEY_DYN_DATA.
struct ScratchKey {
  HKEY root;
  const char* path;
};
const ScratchKey kScratchKeys[] = {
    {HKEY_CURRENT_USER, "Software\\KeystrelPlatformCheck"},
    {HKEY_CLASSES_ROOT, "KsAliasTest"},
    {HKEY_CURRENT_CONFIG, "KsAliasTest"},
    {HKEY_DYN_DATA, "KsDynTest"},
};

std::string_view BeforeSlash(std::string_view text) { return text.substr(0, text.find('/')); }
std::string_view AfterSlash(std::string_view text) {
  const std::size_t slash = text.find('/');
  return slash == std::string_view::npos ? text : text.substr(slash + 1);
}

// What SetEnvironmentOverlay changed: each name and its value before (none
// when it was not set).
std::map<std::u16string, std::optional<std::u16string>>& SavedEnvironment() {
  static std::map<std::u16string, std::optional<std::u16string>> saved;
  return saved;
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

const char* KnownPlatformDifference(const ::testing::UnitTest& unit) {
  const ::testing::TestInfo* info = unit.current_test_info();
  if (!info || !RunningUnderWine()) return nullptr;
  // Set to see whether a newer Wine still differs (a crash ends the run).
  if (GetEnvironmentVariableA("KEYSTREL_RUN_KNOWN_DIFFERENCES", nullptr, 0) > 0) return nullptr;
  std::string name(AfterSlash(info->test_suite_name()));
  name += '.';
  name += BeforeSlash(info->name());
  for (const KnownDifference& difference : kWineDifferences) {
    if (name == difference.test) return difference.why;
  }
  return nullptr;
}

void OpenPlatformCaches() {
  static const bool opened = [] {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                      HKEY_CURRENT_CONFIG, HKEY_DYN_DATA}) {
      RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr);
    }
    char expanded[64];
    ExpandEnvironmentStringsA("%NOSUCHVAR%", expanded, sizeof(expanded));
    ComputerName();
    // googletest's per-thread trace storage starts a watcher thread on
    // Windows the first time SCOPED_TRACE is used.
    { SCOPED_TRACE("opening the platform's caches"); }
    return true;
  }();
  (void)opened;
}

bool ClearScratchKeys() {
  bool clean = true;
  for (const ScratchKey& scratch : kScratchKeys) {
    const LSTATUS rc = RegDeleteTreeA(scratch.root, scratch.path);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) clean = false;
    // RegDeleteTree empties the key and removes it; check that it is gone.
    HKEY left = nullptr;
    if (RegOpenKeyExA(scratch.root, scratch.path, 0, KEY_READ, &left) == ERROR_SUCCESS) {
      RegCloseKey(left);
      clean = false;
    }
  }
  return clean;
}

DWORD ProcessHandleCount() {
  // Wine answers GetProcessHandleCount with 0; the system's handle list
  // (SystemHandleInformation) is served by both, so count this process's
  // entries there.
  struct Entry {
    ULONG process_id;
    BYTE object_type;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  struct Information {
    ULONG count;
    Entry entries[1];
  };
  using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  HKEY probe = nullptr;
  if (query && RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &probe) != ERROR_SUCCESS) {
    probe = nullptr;
  }
  if (query) {
    std::vector<std::uint64_t> buffer(1 << 13);
    for (int attempt = 0; attempt < 8; ++attempt) {
      const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(buffer[0]));
      ULONG needed = 0;
      const LONG status = query(kSystemHandleInformation, buffer.data(), size, &needed);
      if (status == kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
        continue;
      }
      if (status != 0) break;
      const auto* info = reinterpret_cast<const Information*>(buffer.data());
      const ULONG self = GetCurrentProcessId();
      // Only key handles count: threads (and the runtime behind them) come
      // and go with handles of their own that are no test's concern. The
      // type number of keys is the one of a key just opened for it.
      std::optional<BYTE> key_type;
      if (probe) {
        for (ULONG i = 0; i < info->count; ++i) {
          const Entry& e = info->entries[i];
          if (e.process_id == self && e.handle == reinterpret_cast<std::uintptr_t>(probe)) {
            key_type = e.object_type;
          }
        }
      }
      DWORD count = 0;
      for (ULONG i = 0; i < info->count; ++i) {
        const Entry& e = info->entries[i];
        if (e.process_id == self && (!key_type || e.object_type == *key_type)) ++count;
      }
      if (probe) {
        RegCloseKey(probe);
        if (key_type) --count;
      }
      return count;
    }
  }
  if (probe) RegCloseKey(probe);
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  if (!GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

void SetEnvironmentOverlay(std::map<std::u16string, std::u16string> vars) {
  auto& saved = SavedEnvironment();
  for (const auto& [name, before] : saved) {
    SetEnvironmentVariableW(Wide(name), before ? Wide(*before) : nullptr);
  }
  saved.clear();
  for (const auto& [name, value] : vars) {
    std::optional<std::u16string> before;
    const DWORD needed = GetEnvironmentVariableW(Wide(name), nullptr, 0);
    if (needed > 0) {
      std::u16string text(needed, u'\0');
      const DWORD length =
          GetEnvironmentVariableW(Wide(name), reinterpret_cast<wchar_t*>(text.data()), needed);
      text.resize(length);
      before = std::move(text);
    }
    saved.emplace(name, std::move(before));
    SetEnvironmentVariableW(Wide(name), Wide(value));
  }
}

}  // namespace keystrel::platform
