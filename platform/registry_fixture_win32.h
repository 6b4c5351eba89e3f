// What the registry suites need on Windows in place of the store
// administration (platform/admin.h): the system's registry is the one store,
// the tests work in scratch keys that are removed before and after each test,
// and differences of the platform the suite runs on are looked up by test
// name. Test-only; built by com/platform_check.
#ifndef KEYSTREL_PLATFORM_REGISTRY_FIXTURE_WIN32_H_
#define KEYSTREL_PLATFORM_REGISTRY_FIXTURE_WIN32_H_

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/registry.h"

// <windows.h> names the A or W function after its generic name; the suites
// use a generic name for a test, which must keep it.
#undef ExpandEnvironmentStrings

namespace keystrel::platform {

// The registries the suites can run on; here only the system's own.
enum class StoreKind { kAdvapi32 };

// True when ntdll exports wine_get_version.
bool RunningUnderWine();

// The reason the current test cannot pass on this platform (a documented
// difference between Wine and Windows), or null when it should pass, also
// when KEYSTREL_RUN_KNOWN_DIFFERENCES is set.
const char* KnownPlatformDifference(const ::testing::UnitTest& unit);

// Removes every key a test may have made: the test key below
// HKEY_CURRENT_USER and the few keys tests make under other roots. True when
// none of them is left.
bool ClearScratchKeys();

// Makes the platform open, once, the handles it keeps for the process's life
// (the predefined roots it maps lazily, googletest's per-thread storage), so
// that they do not count as a test's leak.
void OpenPlatformCaches();

// Key handles the process holds, so a test that leaves a key open shows up
// (handles of other kinds come and go with threads).
DWORD ProcessHandleCount();

// The computer's NetBIOS name (GetComputerNameA).
std::string ComputerName();

// Sets these variables in the process environment for ExpandEnvironmentStringsA,
// restoring the ones an earlier call set; an empty map only restores.
void SetEnvironmentOverlay(std::map<std::u16string, std::u16string> vars);

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_REGISTRY_FIXTURE_WIN32_H_
