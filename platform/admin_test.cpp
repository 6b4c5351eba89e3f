// admin.h: store selection, other computers, seeding and grants.
#include "platform/admin.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/registry.h"

namespace keystrel::platform {
namespace {

constexpr BYTE kCanary = 0xBD;

class AdminTest : public ::testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/keystrel-admin-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    ASSERT_EQ(UseLocalStore(GetParam(), folder_ + "/local.db"), 0);
  }
  void TearDown() override {
    ClearComputers();
    unsetenv("KEYSTREL_COMPUTERS");
    EXPECT_EQ(OpenHandleCount(), 0u);
    UseLocalStore(StoreKind::kMemory);
    std::filesystem::remove_all(folder_);
  }
  static std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
  }
  std::string folder_;
};

TEST_P(AdminTest, OtherComputersHaveTheirOwnStores) {
  ASSERT_EQ(AddComputer(u"Remote", GetParam(), folder_ + "/remote.db"), 0);
  HKEY remote = nullptr;
  ASSERT_EQ(RegConnectRegistryA("\\\\REMOTE", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
  EXPECT_NE(remote, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(OpenHandleCount(), 1u);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(remote, "Software\\OnlyThere", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\OnlyThere", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(remote, ""), ERROR_ACCESS_DENIED);  // a root stays
  EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(remote), ERROR_INVALID_HANDLE);
  ASSERT_EQ(RegConnectRegistryA("Remote", HKEY_USERS, &remote), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
  for (HKEY refused : {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA,
                       HKEY_PERFORMANCE_DATA, HKeyFromLong(12345)}) {
    EXPECT_EQ(RegConnectRegistryA("Remote", refused, &remote), ERROR_INVALID_HANDLE);
  }
  // Seeding reaches it by name.
  ASSERT_EQ(AdminSetValue(u"Remote", u"HKLM\\Software\\Seeded", u"v", REG_SZ, Bytes("x\0")), 0);
  ASSERT_EQ(RegConnectRegistryA("Remote", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
  char buffer[8];
  DWORD size = sizeof(buffer);
  ASSERT_EQ(RegOpenKeyExA(remote, "Software\\Seeded", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "x");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
  ClearComputers();
  EXPECT_EQ(RegConnectRegistryA("Remote", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
}

TEST_P(AdminTest, ComputersFileIsReadUntilCleared) {
  const std::string list = folder_ + "/computers";
  {
    std::ofstream out(list);
    out << "# machines\n\nInMemory = memory:\nOnDisk=ondisk.db\n";
  }
  setenv("KEYSTREL_COMPUTERS", list.c_str(), 1);
  HKEY remote = nullptr;
  ASSERT_EQ(RegConnectRegistryA("inmemory", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
  ASSERT_EQ(RegConnectRegistryA("\\\\OnDisk", HKEY_USERS, &remote), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/ondisk.db"));  // beside the list
  EXPECT_EQ(RegConnectRegistryA("Elsewhere", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
  {
    std::ofstream out(list);
    out << "Elsewhere=memory:\n";
  }
  EXPECT_EQ(RegConnectRegistryA("Elsewhere", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
  ClearComputers();
  ASSERT_EQ(RegConnectRegistryA("Elsewhere", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
}

TEST_P(AdminTest, SeededStringsAreStoredExactly) {
  using namespace std::string_literals;
  ASSERT_EQ(AdminSetValue(u"", u"HKEY_CURRENT_USER\\Seed", u"nonul", REG_SZ, Bytes("abc")), 0);
  ASSERT_EQ(AdminSetValue(u"", u"HKCU\\Seed", u"a\0b"s, REG_BINARY, Bytes("\x01")), 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Seed", 0, KEY_READ, &key), ERROR_SUCCESS);
  // A string stored without its NUL: the size leaves it out; a NUL is added
  // only when the buffer has room for it.
  for (DWORD room : {3u, 4u}) {
    BYTE data[8];
    std::memset(data, kCanary, sizeof(data));
    DWORD size = room;
    EXPECT_EQ(RegQueryValueExA(key, "nonul", nullptr, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(data, "abc", 3), 0);
    EXPECT_EQ(data[3], room == 4 ? 0 : kCanary);
    EXPECT_EQ(data[4], kCanary);
  }
  // A NUL inside a name is an ordinary character.
  char name[8];
  DWORD length = sizeof(name);
  ASSERT_EQ(RegEnumValueA(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, length), "a\0b"s);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(AdminCreateKey(u"", u"NOROOT\\x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(AdminCreateKey(u"NoSuchPc", u"HKLM\\x"), ERROR_BAD_NETPATH);
}

TEST_P(AdminTest, GrantsRefuseWhatTheyDoNotAllow) {
  ASSERT_EQ(AdminSetGrant(u"", u"HKCU\\Locked", 0x20019), 0);
  ASSERT_EQ(AdminCreateKey(u"", u"HKCU\\Locked\\Seeded"), 0);  // seeding ignores grants
  std::uint32_t grant = 0;
  ASSERT_EQ(AdminGetGrant(u"", u"HKCU\\Locked", &grant), 0);
  EXPECT_EQ(grant, 0x20019u);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Locked", 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Locked", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Locked", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  // RegOpenKeyA asks for whatever is allowed: reading, not writing.
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Locked", &key), ERROR_SUCCESS);
  BYTE one = 1;
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, &one, 1), ERROR_ACCESS_DENIED);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyA(key, "New", &child), ERROR_ACCESS_DENIED);  // no new subkeys
  EXPECT_EQ(RegOpenKeyA(key, "Seeded", &child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Locked\\Seeded"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Locked"), ERROR_ACCESS_DENIED);  // no DELETE

  ASSERT_EQ(AdminSetGrant(u"", u"HKCU\\Closed", 0), 0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Closed", 0, 0, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Closed", &key), ERROR_ACCESS_DENIED);
}

TEST_P(AdminTest, ClearingKeepsRootsAndViewsAndClosesHandles) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Gone", &key), ERROR_SUCCESS);
  ASSERT_EQ(ClearLocalStore(), 0);
  EXPECT_EQ(OpenHandleCount(), 0u);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Gone", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  for (HKEY view : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_CURRENT_CONFIG}) {
    ASSERT_EQ(RegCreateKeyA(view, "Again", &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Again", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Stores, AdminTest,
                         ::testing::Values(StoreKind::kMemory, StoreKind::kSqlite),
                         [](const auto& info) {
                           return info.param == StoreKind::kMemory ? "Memory" : "Sqlite";
                         });

TEST(DefaultStoreTest, LocationFollowsTheEnvironment) {
  struct Saved {
    const char* name;
    std::string value;
    bool set;
  };
  Saved saved[] = {{"KEYSTREL_REGISTRY", "", false}, {"XDG_DATA_HOME", "", false},
                   {"HOME", "", false}};
  for (Saved& s : saved) {
    if (const char* v = std::getenv(s.name)) s = {s.name, v, true};
  }
  setenv("KEYSTREL_REGISTRY", "/srv/reg.db", 1);
  EXPECT_EQ(DefaultStoreLocation(), "/srv/reg.db");
  unsetenv("KEYSTREL_REGISTRY");
  setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(DefaultStoreLocation(), "/data/keystrel/registry.db");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(DefaultStoreLocation(), "/home/someone/.local/share/keystrel/registry.db");
  setenv("KEYSTREL_REGISTRY", "memory:", 1);
  EXPECT_EQ(UseDefaultStore(), 0);
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\InMemory", &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  for (const Saved& s : saved) {
    if (s.set) {
      setenv(s.name, s.value.c_str(), 1);
    } else {
      unsetenv(s.name);
    }
  }
}

}  // namespace
}  // namespace keystrel::platform
