// The SQLite store as a file: persistence, coherence between connections and
// processes, surviving a killed writer, and damaged or unusable files.
#include "platform/sqlite_provider.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/admin.h"
#include "platform/registry.h"
#include "platform/stores.h"

namespace keystrel::platform {
namespace {

class SqliteStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/keystrel-sqlite-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    path_ = folder_ + "/registry.db";
  }
  void TearDown() override {
    UseLocalStore(StoreKind::kMemory);
    EXPECT_EQ(OpenHandleCount(), 0u);
    std::filesystem::remove_all(folder_);
  }

  static std::string ReadString(HKEY root, const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char buffer[256] = {};
    DWORD size = sizeof(buffer) - 1;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buffer) : "<" + std::to_string(rc) + ">";
  }

  static LONG WriteDword(const char* path, const char* name, DWORD value) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
    RegCloseKey(key);
    return rc;
  }

  static LONG ReadDword(const char* path, const char* name, DWORD* value) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD size = 4;
    rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return rc;
  }

  std::string IntegrityCheck() {
    sqlite3* db = nullptr;
    std::string result = "<open failed>";
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
          sqlite3_step(stmt) == SQLITE_ROW) {
        result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      }
      sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return result;
  }

  std::string folder_;
  std::string path_;
};

TEST_F(SqliteStoreTest, FileIsCreatedPrivateWithItsFolderAndKeepsData) {
  const std::string nested = folder_ + "/a/b/registry.db";
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, nested), ERROR_SUCCESS);
  struct stat info;
  ASSERT_EQ(stat(nested.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((folder_ + "/a/b").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  ASSERT_EQ(WriteDword("Software\\Persist", "n", 42), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".kst", 0, const_cast<LPSTR>("Cls"), 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("kst.file"), 9),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  auto last_write = [] {
    HKEY key = nullptr;
    FILETIME time = {};
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Persist", 0, KEY_READ, &key);
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, &time);
    RegCloseKey(key);
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  const std::uint64_t written = last_write();
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, nested), ERROR_SUCCESS);  // a fresh connection
  EXPECT_EQ(last_write(), written);  // the value's write time, kept in the file
  DWORD value = 0;
  EXPECT_EQ(ReadDword("Software\\Persist", "n", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "Software\\Classes\\.kst", ""), "kst.file");
}

TEST_F(SqliteStoreTest, ConnectionsSeeEachOthersCommitsOnTheirNextCall) {
  auto first = SqliteProvider::Open(path_);
  auto second = SqliteProvider::Open(path_);
  ASSERT_TRUE(first.ok());
  ASSERT_TRUE(second.ok());
  RegistryProvider& a = *first.value();
  RegistryProvider& b = *second.value();
  KeyId a_root = a.Predefined(PredefinedKey::kCurrentUser).value();
  KeyId b_root = b.Predefined(PredefinedKey::kCurrentUser).value();
  std::u16string_view path[] = {u"Shared"};
  AccessRequest all{kAllKeyAccess};
  KeyId a_key = a.CreateKey(a_root, path, u"", false, all).value().id;
  KeyId b_key = b.OpenKey(b_root, path, all).value().id;
  for (int round = 0; round < 20; ++round) {
    std::string data(1, static_cast<char>('a' + round));
    ASSERT_TRUE(a.SetValue(a_key, u"v", REG_BINARY, data).ok());
    ValueData seen;
    ASSERT_TRUE(b.QueryValue(b_key, u"v", &seen).ok());  // b's tree was warm: must not be stale
    EXPECT_EQ(seen.data, data) << round;
    EXPECT_TRUE(b.EnumKey(b_root, 0).ok());
  }
  // A key deleted by one connection answers 1018 through the other.
  std::u16string_view child[] = {u"Child"};
  KeyId a_child = a.CreateKey(a_key, child, u"", false, all).value().id;
  KeyId b_child = b.OpenKey(b_key, child, all).value().id;
  ASSERT_TRUE(b.QueryInfo(b_child).ok());
  ASSERT_TRUE(a.DeleteKey(a_child, {}).ok());
  EXPECT_EQ(b.QueryInfo(b_child).code(), StatusCode::kKeyDeleted);
  EXPECT_EQ(b.EnumKey(b_key, 0).code(), StatusCode::kNoMoreItems);
}

// A writer killed at random moments: every change it reported committed is
// there, and the file is sound.
TEST_F(SqliteStoreTest, KilledWriterLosesNothingCommitted) {
  std::mt19937 random(1234);
  for (int round = 0; round < 25; ++round) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipe_fds[0]);
      if (UseLocalStore(StoreKind::kSqlite, path_) != 0) _exit(2);
      for (DWORD i = 0;; ++i) {
        std::string name = "r" + std::to_string(round) + "_" + std::to_string(i % 7);
        if (WriteDword("Software\\Crash", name.c_str(), i) != ERROR_SUCCESS) _exit(3);
        if (write(pipe_fds[1], &i, sizeof(i)) != sizeof(i)) _exit(4);
      }
    }
    close(pipe_fds[1]);
    const DWORD stop_after = 5 + random() % 60;
    DWORD last = 0;
    bool any = false;
    while (!any || last < stop_after) {
      DWORD got;
      if (read(pipe_fds[0], &got, sizeof(got)) != sizeof(got)) break;
      last = got;
      any = true;
    }
    usleep(random() % 500);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    // Drain reports written before the kill: they were committed too.
    DWORD got;
    while (read(pipe_fds[0], &got, sizeof(got)) == sizeof(got)) last = got;
    close(pipe_fds[0]);
    ASSERT_TRUE(any) << "the writer never committed (status " << status << ")";

    ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);
    for (DWORD i = last >= 6 ? last - 6 : 0; i <= last; ++i) {
      std::string name = "r" + std::to_string(round) + "_" + std::to_string(i % 7);
      DWORD value = 0;
      ASSERT_EQ(ReadDword("Software\\Crash", name.c_str(), &value), ERROR_SUCCESS) << name;
      EXPECT_GE(value, i) << name;  // the committed write or a later one
    }
    UseLocalStore(StoreKind::kMemory);
  }
  EXPECT_EQ(IntegrityCheck(), "ok");
}

// One process writes while another reads the same file: the reader always
// sees at least what the writer has reported, and both write without failing.
TEST_F(SqliteStoreTest, TwoProcessesShareOneFile) {
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);
  ASSERT_EQ(WriteDword("Software\\Two", "counter", 0), ERROR_SUCCESS);
  int to_parent[2];
  ASSERT_EQ(pipe(to_parent), 0);
  UseLocalStore(StoreKind::kMemory);  // no connection crosses fork()
  constexpr DWORD kWrites = 300;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(to_parent[0]);
    if (UseLocalStore(StoreKind::kSqlite, path_) != 0) _exit(2);
    for (DWORD i = 1; i <= kWrites; ++i) {
      if (WriteDword("Software\\Two", "counter", i) != ERROR_SUCCESS) _exit(3);
      if (write(to_parent[1], &i, sizeof(i)) != sizeof(i)) _exit(4);
    }
    _exit(0);
  }
  close(to_parent[1]);
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);
  DWORD reported = 0;
  int stale = 0;
  int own_failures = 0;
  for (DWORD i = 0; reported < kWrites; ++i) {
    DWORD got;
    if (read(to_parent[0], &got, sizeof(got)) != sizeof(got)) break;
    reported = got;
    DWORD seen = 0;
    if (ReadDword("Software\\Two", "counter", &seen) != ERROR_SUCCESS || seen < reported) ++stale;
    std::string mine = "p" + std::to_string(i % 10);
    if (WriteDword("Software\\Two", mine.c_str(), i) != ERROR_SUCCESS) ++own_failures;
  }
  close(to_parent[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(reported, kWrites);
  EXPECT_EQ(stale, 0);
  EXPECT_EQ(own_failures, 0);
}

TEST_F(SqliteStoreTest, UnusableFilesGiveRegistryErrors) {
  {
    std::ofstream garbage(path_, std::ios::binary);
    garbage << std::string(8192, '\x42');
  }
  EXPECT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_BADDB);
  // Calls through the roots keep answering the error: never an empty registry.
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\X", &key), ERROR_BADDB);

  // A SQLite file that is not ours.
  std::filesystem::remove(path_);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE other(x)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  EXPECT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_BADDB);

  // A registry whose pages were damaged.
  std::filesystem::remove(path_);
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(WriteDword("Software\\Bulk", std::to_string(i).c_str(), i), 0);
  UseLocalStore(StoreKind::kMemory);
  {
    // Every page after the first (the schema) overwritten.
    auto size = std::filesystem::file_size(path_);
    std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096);
    file << std::string(size - 4096, '\xFF');
  }
  LONG damaged = UseLocalStore(StoreKind::kSqlite, path_);
  if (damaged == ERROR_SUCCESS) {
    DWORD value = 0;
    damaged = ReadDword("Software\\Bulk", "7", &value);
  }
  EXPECT_TRUE(damaged == ERROR_REGISTRY_CORRUPT || damaged == ERROR_BADDB) << damaged;

  // A folder where the file should be, and a path that cannot be created.
  EXPECT_EQ(UseLocalStore(StoreKind::kSqlite, folder_), ERROR_CANTOPEN);
  EXPECT_EQ(UseLocalStore(StoreKind::kSqlite, "/proc/keystrel/registry.db"), ERROR_CANTOPEN);
}

TEST_F(SqliteStoreTest, FilesOfTheFirstFormatAreUpgradedInPlace) {
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);
  ASSERT_EQ(WriteDword("Software\\Old", "n", 5), ERROR_SUCCESS);
  UseLocalStore(StoreKind::kMemory);
  // Back to the first format: values without their write time.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "ALTER TABLE vals DROP COLUMN mtime; PRAGMA user_version=1;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);
  DWORD value = 0;
  EXPECT_EQ(ReadDword("Software\\Old", "n", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 5u);
  EXPECT_EQ(WriteDword("Software\\Old", "m", 6), ERROR_SUCCESS);
  // A newer format than this build knows is refused, not guessed at.
  UseLocalStore(StoreKind::kMemory);
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  EXPECT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_BADDB);
}

TEST_F(SqliteStoreTest, VolatileKeysVanishWithTheNextBoot) {
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);
  ASSERT_EQ(WriteDword("Software\\Lasting", "n", 1), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vol", 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);  // same boot: kept
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vol", 0, KEY_READ, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  UseLocalStore(StoreKind::kMemory);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE meta SET value = 'an earlier boot' WHERE name = 'boot'",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_EQ(UseLocalStore(StoreKind::kSqlite, path_), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vol", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  DWORD value = 0;
  EXPECT_EQ(ReadDword("Software\\Lasting", "n", &value), ERROR_SUCCESS);
}

// Failures of the store reach the caller as the store's error, and a failed
// change leaves nothing behind.
TEST_F(SqliteStoreTest, StoreFailuresReachTheCaller) {
  class FailingWrites : public ForwardingProvider {
   public:
    using ForwardingProvider::ForwardingProvider;
    Status SetValue(KeyId, std::u16string_view, std::uint32_t, std::string_view) override {
      return Status(StatusCode::kCantWrite, "disk full");
    }
  };
  auto real = SqliteProvider::Open(path_);
  ASSERT_TRUE(real.ok());
  SetLocalStore(StoreRef(std::make_shared<FailingWrites>(real.value())));
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Failing", &key), ERROR_SUCCESS);
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
            ERROR_CANTWRITE);
  DWORD size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace
}  // namespace keystrel::platform
