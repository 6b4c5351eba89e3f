// The fixture of the registry suites: the same test bodies run on every
// store. Bodies use only the names of platform/registry.h, so they compile
// unchanged against the real registry; the store is chosen here. On Windows
// (com/platform_check, run under Wine) the one "store" is the system's own
// registry and each test gets a scratch key of its own there instead.
#ifndef KEYSTREL_PLATFORM_REGISTRY_FIXTURE_H_
#define KEYSTREL_PLATFORM_REGISTRY_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"

#ifdef _WIN32
#include "platform/registry_fixture_win32.h"
#else
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/admin.h"
#endif

namespace keystrel::platform {

// False where the suites run on the system's registry (Windows, or Wine):
// checks of our store's own choices, where the platform's answer is left open
// or differs by design (docs/choices.md, "Registry store"), are made only on
// our stores.
#ifdef _WIN32
inline constexpr bool kOurStore = false;
#else
inline constexpr bool kOurStore = true;
#endif

// The key below HKEY_CURRENT_USER that a test works in.
inline constexpr char kTestKeyPath[] = "Software\\KeystrelPlatformCheck";

class RegistryTest : public ::testing::TestWithParam<StoreKind> {
 public:
  // The name RegConnectRegistryA knows this computer by.
  static std::string LocalComputerName() {
#ifdef _WIN32
    return ComputerName();
#else
    char host[256] = {};
    if (gethostname(host, sizeof(host) - 1) != 0) return {};
    return host;
#endif
  }

 protected:
  void SetUp() override {
#ifdef _WIN32
    // A known difference of the platform under test skips the whole test,
    // for the reason recorded in com/known-differences.md.
    if (const char* why = KnownPlatformDifference(*::testing::UnitTest::GetInstance())) {
      GTEST_SKIP() << why;
    }
    ASSERT_TRUE(ClearScratchKeys());
    OpenPlatformCaches();
    handles_before_ = ProcessHandleCount();
#else
    if (GetParam() == StoreKind::kSqlite) {
      char pattern[] = "/tmp/keystrel-registry-XXXXXX";
      ASSERT_NE(mkdtemp(pattern), nullptr);
      folder_ = pattern;
      ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, folder_ + "/registry.db"), 0);
    } else {
      ASSERT_EQ(UseLocalStore(StoreKind::kMemory), 0);
    }
#endif
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &base_, nullptr),
              ERROR_SUCCESS);
  }

  void TearDown() override {
    if (base_) {
      EXPECT_EQ(RegCloseKey(base_), ERROR_SUCCESS);
    }
#ifdef _WIN32
    if (IsSkipped()) return;
    EXPECT_EQ(ProcessHandleCount(), handles_before_) << "a test left key handles open";
    EXPECT_TRUE(ClearScratchKeys());
#else
    EXPECT_EQ(OpenHandleCount(), 0u) << "a test left key handles open";
    UseLocalStore(StoreKind::kMemory);
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
#endif
  }

  // Creates `path` below the test's key, optionally with one REG_SZ value.
  HKEY Create(const char* path, REGSAM access = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(base_, path, 0, nullptr, 0, access, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
  }

  HKEY Open(const char* path, REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(base_, path, 0, access, &key), ERROR_SUCCESS) << path;
    return key;
  }

  void SetString(HKEY key, const char* name, const std::string& text) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }

  void SetBytes(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }

  // The value's type and ANSI bytes, read with an exact buffer.
  std::string Read(HKEY key, const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    DWORD kind = 0;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &kind, nullptr, &size), ERROR_SUCCESS) << name;
    std::string data(size, '\0');
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &kind, reinterpret_cast<BYTE*>(data.data()),
                               &size),
              ERROR_SUCCESS);
    if (type) *type = kind;
    data.resize(size);
    return data;
  }

  // Subkey names in enumeration order.
  std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[300];
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof(name);
      LONG rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(rc, ERROR_SUCCESS);
      if (rc != ERROR_SUCCESS) break;
      names.emplace_back(name, length);
    }
    return names;
  }

  std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    char name[300];
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof(name);
      LONG rc = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(rc, ERROR_SUCCESS);
      if (rc != ERROR_SUCCESS) break;
      names.emplace_back(name, length);
    }
    return names;
  }

  HKEY base_ = nullptr;
#ifdef _WIN32
  DWORD handles_before_ = 0;
#else
  std::string folder_;
#endif
};

// The stores every suite is instantiated for, and their names in test names.
inline auto RegistryStores() {
#ifdef _WIN32
  return ::testing::Values(StoreKind::kAdvapi32);
#else
  return ::testing::Values(StoreKind::kMemory, StoreKind::kSqlite);
#endif
}

inline std::string StoreName(const ::testing::TestParamInfo<StoreKind>& info) {
#ifdef _WIN32
  (void)info;
  return "Advapi32";
#else
  return info.param == StoreKind::kMemory ? "Memory" : "Sqlite";
#endif
}

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_REGISTRY_FIXTURE_H_
