// Keys: roots, handles, paths, creation, deletion and access, on every store.
#include <atomic>
#include <thread>
#include <vector>

#include "platform/registry_fixture.h"

namespace keystrel::platform {
namespace {

constexpr REGSAM kMaximumAllowed = 0x02000000;

TEST_P(RegistryTest, RootsOpenAsThemselvesAndNeverClose) {
  const HKEY roots[] = {HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER,  HKEY_LOCAL_MACHINE,
                        HKEY_USERS,            HKEY_CURRENT_CONFIG, HKEY_DYN_DATA,
                        HKEY_PERFORMANCE_DATA};
  for (HKEY root : roots) {
    HKEY out = HKeyFromLong(0x1234);
    EXPECT_EQ(RegOpenKeyExA(root, nullptr, 0, KEY_READ, &out), ERROR_SUCCESS);
    EXPECT_EQ(out, root);
    out = HKeyFromLong(0x1234);
    EXPECT_EQ(RegOpenKeyExA(root, "", 0, KEY_READ, &out), ERROR_SUCCESS);
    EXPECT_EQ(out, root);
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
  }
  // Still usable after being "closed", with full access through a read open.
  HKEY hkcu = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &hkcu), ERROR_SUCCESS);
  HKEY child = nullptr;
  const std::string via_root = std::string(kTestKeyPath) + "\\ViaRoot";
  ASSERT_EQ(RegCreateKeyA(hkcu, via_root.c_str(), &child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  // Only the low 32 bits of a root count: the zero-extended form works too.
  HKEY zero_extended = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u));
  EXPECT_EQ(RegOpenKeyExA(zero_extended, via_root.c_str(), 0, KEY_READ, &child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
}

TEST_P(RegistryTest, PerformanceDataServesNothing) {
  HKEY out = HKeyFromLong(0x1234);
  EXPECT_EQ(RegOpenKeyA(HKEY_PERFORMANCE_DATA, nullptr, &out), ERROR_SUCCESS);
  EXPECT_EQ(out, HKEY_PERFORMANCE_DATA);
  EXPECT_EQ(RegOpenKeyExA(HKEY_PERFORMANCE_DATA, "Global", 0, KEY_READ, &out),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCreateKeyA(HKEY_PERFORMANCE_DATA, nullptr, &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(out, nullptr);
  DWORD size = 77;
  if (kOurStore) {  // the platform serves its performance data here
    EXPECT_EQ(RegQueryValueExA(HKEY_PERFORMANCE_DATA, "Global", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
  }
  char name[16];
  EXPECT_EQ(RegEnumKeyA(HKEY_PERFORMANCE_DATA, 0, name, sizeof(name)), ERROR_INVALID_HANDLE);
  BYTE one = 1;
  EXPECT_EQ(RegSetValueExA(HKEY_PERFORMANCE_DATA, "x", 0, REG_BINARY, &one, 1),
            ERROR_INVALID_HANDLE);
}

TEST_P(RegistryTest, InvalidHandlesAnswerSix) {
  HKEY closed = Create("Closed");
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  struct Case {
    HKEY handle;
    LONG close_result;
  };
  const Case cases[] = {
      {HKeyFromLong(0), ERROR_INVALID_HANDLE},
      {HKeyFromLong(12345), ERROR_INVALID_HANDLE},
      {closed, ERROR_INVALID_HANDLE},
      {HKeyFromLong(0x7FFFFFFF), ERROR_INVALID_HANDLE},
      {HKeyFromLong(static_cast<std::int32_t>(0x80000007u)), ERROR_SUCCESS},
      {HKeyFromLong(-1), ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(LongFromHKey(c.handle));
    HKEY out = HKeyFromLong(0x1234);
    EXPECT_EQ(RegOpenKeyExA(c.handle, "x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    // A null handle is refused before the result is touched.
    EXPECT_EQ(out, c.handle ? nullptr : HKeyFromLong(0x1234));
    out = HKeyFromLong(0x1234);
    EXPECT_EQ(RegOpenKeyA(c.handle, "x", &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(out, c.handle ? nullptr : HKeyFromLong(0x1234));
    EXPECT_EQ(RegCreateKeyExA(c.handle, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out,
                              nullptr),
              ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(c.handle, "v", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    BYTE one = 1;
    EXPECT_EQ(RegSetValueExA(c.handle, "v", 0, REG_BINARY, &one, 1), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteValueA(c.handle, "v"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(c.handle, "x"), ERROR_INVALID_HANDLE);
    char name[16];
    DWORD length = sizeof(name);
    EXPECT_EQ(RegEnumKeyExA(c.handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumValueA(c.handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryInfoKeyA(c.handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    // RegOpenKeyA with no path hands the handle back without looking at it.
    EXPECT_EQ(RegOpenKeyA(c.handle, nullptr, &out), ERROR_SUCCESS);
    EXPECT_EQ(out, c.handle);
    EXPECT_EQ(RegCloseKey(c.handle), c.close_result);
  }
}

TEST_P(RegistryTest, ViewsShareTheirKeys) {
  struct Case {
    HKEY view;
    const char* under_view;
    HKEY real;
    const char* under_real;
  };
  const Case cases[] = {
      {HKEY_CLASSES_ROOT, "KsAliasTest", HKEY_LOCAL_MACHINE, "Software\\Classes\\KsAliasTest"},
      {HKEY_CURRENT_CONFIG, "KsAliasTest", HKEY_LOCAL_MACHINE,
       "System\\CurrentControlSet\\Hardware Profiles\\Current\\KsAliasTest"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.under_real);
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyA(c.view, c.under_view, &created), ERROR_SUCCESS);
    SetString(created, "v", "through the view");
    HKEY real = nullptr;
    ASSERT_EQ(RegOpenKeyExA(c.real, c.under_real, 0, KEY_READ, &real), ERROR_SUCCESS);
    EXPECT_EQ(Read(real, "v"), std::string("through the view", 17));
    EXPECT_EQ(RegCloseKey(real), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(created), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(c.view, c.under_view), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(c.real, c.under_real, 0, KEY_READ, &real), ERROR_FILE_NOT_FOUND);
  }
  // HKCU is one of the users under HKU; HKEY_DYN_DATA is a tree of its own.
  int found = 0;
  for (const std::string& user : SubkeyNames(HKEY_USERS)) {
    HKEY key = nullptr;
    std::string path = user + "\\" + kTestKeyPath;
    if (RegOpenKeyExA(HKEY_USERS, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      ++found;
      EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
  }
  EXPECT_EQ(found, 1);
  HKEY dyn = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_DYN_DATA, "KsDynTest", &dyn), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(dyn), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "KsDynTest", 0, KEY_READ, &dyn),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_DYN_DATA, "KsDynTest"), ERROR_SUCCESS);
}

TEST_P(RegistryTest, PathSyntax) {
  HKEY made = Create("multi\\level\\deep");
  ASSERT_EQ(RegCloseKey(made), ERROR_SUCCESS);
  made = Create("fwd/slash");
  ASSERT_EQ(RegCloseKey(made), ERROR_SUCCESS);
  made = Create("CaseKey");
  ASSERT_EQ(RegCloseKey(made), ERROR_SUCCESS);
  const std::string c255(255, 'k');
  const std::string c256(256, 'k');
  const std::string long_path = std::string(200, 'p') + "\\" + std::string(200, 'q');
  const std::string fits = std::string(120, 'p') + "\\" + std::string(120, 'q');
  struct Case {
    std::string path;
    LONG open_before;  // opening before the create
    LONG create;
  };
  const LONG ok = ERROR_SUCCESS, nf = ERROR_FILE_NOT_FOUND;
  const Case cases[] = {
      {"\\lead", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
      {"\\", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
      {"trail\\", nf, ok},
      {"dbl\\\\x", nf, ok},
      {"multi\\level\\deep", ok, ok},
      {"MULTI\\LEVEL", ok, ok},
      {"multi\\nosuch\\deep", nf, ok},
      {"fwd", nf, ok},
      {"FWD/SLASH", ok, ok},
      {"cAsEkEy", ok, ok},
      {". and ..", nf, ok},
      {c255, nf, ok},
      {c256, ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
      {long_path, ERROR_MORE_DATA, ERROR_MORE_DATA},
      {fits, nf, ok},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 40));
    HKEY key = HKeyFromLong(0x1234);
    EXPECT_EQ(RegOpenKeyExA(base_, c.path.c_str(), 0, KEY_READ, &key), c.open_before);
    if (c.open_before == ok) {
      EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    } else if (kOurStore || c.open_before != ERROR_MORE_DATA) {
      EXPECT_EQ(key, nullptr);  // the platform leaves it for a path too long
    }
    EXPECT_EQ(RegCreateKeyExA(base_, c.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              c.create);
    if (c.create == ok) {
      EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegOpenKeyExA(base_, c.path.c_str(), 0, KEY_READ, &key),
              c.create == ok ? ok : c.open_before);
    if (c.create == ok) {
      EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    }
  }
  // A leading backslash is skipped under HKEY_CLASSES_ROOT only.
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  // The first spelling stays; every spelling names the same key.
  std::vector<std::string> names = SubkeyNames(base_);
  EXPECT_NE(std::find(names.begin(), names.end(), "CaseKey"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "fwd/slash"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "trail"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "FWD"), names.end());
}

TEST_P(RegistryTest, CreateReportsWhatItDid) {
  HKEY key = nullptr;
  DWORD disposition = 0xDEADBEEF;
  ASSERT_EQ(RegCreateKeyExA(base_, "a\\b\\c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY again = nullptr;
  ASSERT_EQ(RegCreateKeyExA(base_, "A\\B\\C", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_NE(again, key);  // every open is a handle of its own
  HKEY same = nullptr;
  ASSERT_EQ(RegCreateKeyExA(key, "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &same, &disposition),
            ERROR_SUCCESS);
  if (kOurStore) {  // Wine reports a new key here
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  }
  EXPECT_NE(same, key);
  SetString(same, "v", "one");
  EXPECT_EQ(Read(key, "v"), std::string("one", 4));
  for (HKEY h : {key, again, same}) EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);

  HKEY out = HKeyFromLong(0x1234);
  EXPECT_EQ(RegCreateKeyExA(base_, "r", 5, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyA(base_, "a", nullptr), ERROR_INVALID_PARAMETER);
  // Our store clears the result of a refused call and answers 87 where the
  // platform writes through a missing result pointer.
  if (kOurStore) {
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(RegCreateKeyExA(base_, "r", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr,
                              nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(base_, "a", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyA(base_, "a", nullptr), ERROR_INVALID_PARAMETER);
  }
}

TEST_P(RegistryTest, VolatileKeysTakeOnlyVolatileChildren) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(base_, "vol", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  HKEY child = HKeyFromLong(0x1234);
  EXPECT_EQ(RegCreateKeyExA(key, "lasting", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                            nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(child, nullptr);
  EXPECT_EQ(RegCreateKeyExA(key, "volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &child, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(key), std::vector<std::string>{"volatile"});
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_P(RegistryTest, DeleteKey) {
  HKEY made = Create("d\\haschild\\kid");
  ASSERT_EQ(RegCloseKey(made), ERROR_SUCCESS);
  made = Create("d\\trail");
  ASSERT_EQ(RegCloseKey(made), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(base_, "d\\haschild"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(base_, "missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(base_, "missing\\missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(base_, "\\d\\trail"), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegDeleteKeyA(base_, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(base_, "d\\trail\\"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(base_, "D\\HASCHILD\\KID"), ERROR_SUCCESS);  // only the last level
  HKEY d = Open("d", KEY_READ);
  EXPECT_EQ(SubkeyNames(d), std::vector<std::string>{"haschild"});
  EXPECT_EQ(RegCloseKey(d), ERROR_SUCCESS);
  // Through a read-only parent: the parent's rights do not matter.
  HKEY read_only = Open("d", KEY_READ);
  EXPECT_EQ(RegDeleteKeyA(read_only, "haschild"), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(read_only), ERROR_SUCCESS);
  // Roots and the keys behind the views cannot go.
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                    HKEY_CURRENT_CONFIG, HKEY_DYN_DATA}) {
    EXPECT_EQ(RegDeleteKeyA(root, ""), ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(RegDeleteKeyA(HKEY_PERFORMANCE_DATA, ""), ERROR_INVALID_HANDLE);
}

TEST_P(RegistryTest, HandlesToADeletedKeyAnswer1018) {
  HKEY key = Create("gone");
  HKEY child_parent = Create("gone2\\child");
  HKEY other = Open("gone", KEY_ALL_ACCESS);
  ASSERT_EQ(RegDeleteKeyA(other, ""), ERROR_SUCCESS);  // "" deletes the handle's own key
  BYTE one = 1;
  DWORD size = 1;
  char name[16];
  DWORD length = sizeof(name);
  HKEY out = nullptr;
  for (HKEY stale : {key, other}) {
    EXPECT_EQ(RegQueryValueExA(stale, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(stale, "v", 0, REG_BINARY, &one, 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueA(stale, "v"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExA(stale, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumValueA(stale, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryInfoKeyA(stale, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExA(stale, "c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExA(stale, "", 0, KEY_READ, &out), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(stale, ""), ERROR_KEY_DELETED);
  }
  // A new key of the same name is another key.
  HKEY reborn = Create("gone");
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, &one, 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(reborn), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(base_, "gone2\\child"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryInfoKeyA(child_parent, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child_parent), ERROR_SUCCESS);
}

TEST_P(RegistryTest, HandleRightsGateEachOperation) {
  HKEY made = Create("acl\\child");
  ASSERT_EQ(RegCloseKey(made), ERROR_SUCCESS);
  made = Create("acl");
  SetString(made, "present", "x");
  ASSERT_EQ(RegCloseKey(made), ERROR_SUCCESS);
  struct Case {
    REGSAM mask;
    LONG query, set, delete_missing, enum_keys, enum_values;
  };
  const LONG ok = ERROR_SUCCESS, no = ERROR_ACCESS_DENIED, nf = ERROR_FILE_NOT_FOUND;
  const Case cases[] = {
      {KEY_READ, nf, no, no, ok, ok},
      {KEY_QUERY_VALUE, nf, no, no, no, ok},
      {KEY_ENUMERATE_SUB_KEYS, no, no, no, ok, no},
      {KEY_WRITE, no, ok, nf, no, no},
      {KEY_SET_VALUE, no, ok, nf, no, no},
      {KEY_CREATE_SUB_KEY, no, no, no, no, no},
      {0, no, no, no, no, no},
      {0x80000000u /* GENERIC_READ */, nf, no, no, ok, ok},
      {kMaximumAllowed, nf, ok, nf, ok, ok},
      {0xFFFF, nf, ok, nf, ok, ok},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    HKEY key = Open("acl", c.mask);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size), c.query);
    BYTE one = 1;
    EXPECT_EQ(RegSetValueExA(key, "written", 0, REG_BINARY, &one, 1), c.set);
    EXPECT_EQ(RegDeleteValueA(key, "missing"), c.delete_missing);  // rights before existence
    char name[16];
    DWORD length = sizeof(name);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              c.enum_keys);
    length = sizeof(name);
    EXPECT_EQ(RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              c.enum_values);
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    // Subkeys are created and opened whatever the parent handle allows.
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyA(key, "child", &child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    // A new handle to the same key gets the rights it asks for.
    EXPECT_EQ(RegOpenKeyExA(key, "", 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(child, "written", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
}

TEST_P(RegistryTest, ConcurrentOpensAndClosesKeepTheTableExact) {
  HKEY made = Create("threads");
  SetString(made, "v", "shared");
  ASSERT_EQ(RegCloseKey(made), ERROR_SUCCESS);
  const std::string path = std::string(kTestKeyPath) + "\\threads";
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) !=
            ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        char buffer[16];
        DWORD size = sizeof(buffer);
        if (RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             &size) != ERROR_SUCCESS ||
            std::string(buffer) != "shared") {
          ++failures;
        }
        if (i % 50 == 0) {
          DWORD value = static_cast<DWORD>(t * 1000 + i);
          if (RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4) !=
              ERROR_SUCCESS) {
            ++failures;
          }
        }
        if (RegCloseKey(key) != ERROR_SUCCESS) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, RegistryTest, RegistryStores(), StoreName);

}  // namespace
}  // namespace keystrel::platform
