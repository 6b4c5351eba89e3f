// Enumeration order and buffers, and key information.
#include <cstring>

#include "platform/registry_fixture.h"

namespace keystrel::platform {
namespace {

constexpr BYTE kCanary = 0xBD;
constexpr DWORD kSentinel = 0xDEADBEEF;

class RegistryEnumTest : public RegistryTest {};

TEST_P(RegistryEnumTest, SubkeysEnumerateInUpperCaseOrdinalOrder) {
  struct Case {
    std::vector<std::string> created;
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      {{"b", "A", "c", "B2", "a1"}, {"A", "a1", "b", "B2", "c"}},
      // Upper-case folding puts [ \ ] ^ _ and ` after the letters, and ab before a_.
      {{"a", "B", "_", "[", "^", "`", "{", "~", "Z", "z0", "0", "9", "@", "!", " ", "-", "ab",
        "a_", "Ab_c"},
       {" ", "!", "-", "0", "9", "@", "a", "ab", "Ab_c", "a_", "B", "Z", "z0", "[", "^", "_",
        "`", "{", "~"}},
      {{"abc", "ab", "abcd", "a", "\xE9", "e", "f", "\xFC", "\xDF", "\x80", "\xFF", "ss", "z"},
       {"a", "ab", "abc", "abcd", "e", "f", "ss", "z", "\xE9", "\xFC", "\xDF", "\xFF", "\x80"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string parent = "order" + std::to_string(n++);
    HKEY key = Create(parent.c_str());
    for (const std::string& name : c.created) {
      HKEY child = nullptr;
      ASSERT_EQ(RegCreateKeyA(key, name.c_str(), &child), ERROR_SUCCESS) << name;
      EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    }
    EXPECT_EQ(SubkeyNames(key), c.listed);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
}

TEST_P(RegistryEnumTest, IndexesArePositionsInTheCurrentList) {
  HKEY key = Create("shift");
  for (const char* name : {"k0", "k1", "k2", "k3", "k4"}) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyA(key, name, &child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  }
  char name[16];
  ASSERT_EQ(RegEnumKeyA(key, 0, name, sizeof(name)), ERROR_SUCCESS);
  EXPECT_STREQ(name, "k0");
  ASSERT_EQ(RegDeleteKeyA(key, name), ERROR_SUCCESS);
  ASSERT_EQ(RegEnumKeyA(key, 1, name, sizeof(name)), ERROR_SUCCESS);
  EXPECT_STREQ(name, "k2");  // k1 moved to index 0
  // Read index 0 and delete it until nothing is left.
  int deleted = 0;
  while (RegEnumKeyA(key, 0, name, sizeof(name)) == ERROR_SUCCESS) {
    ASSERT_EQ(RegDeleteKeyA(key, name), ERROR_SUCCESS);
    ++deleted;
  }
  EXPECT_EQ(deleted, 4);
  DWORD length = 7;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(RegEnumKeyExA(key, 0xFFFFFFFF, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_P(RegistryEnumTest, ValuesEnumerateInInsertionOrder) {
  HKEY key = Create("vorder");
  for (const char* name : {"C", "A", "D", "B"}) SetString(key, name, name);
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"C", "A", "D", "B"}));
  SetString(key, "a", "overwritten");  // keeps its place and spelling
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"C", "A", "D", "B"}));
  ASSERT_EQ(RegDeleteValueA(key, "C"), ERROR_SUCCESS);
  SetString(key, "C", "again");  // comes back at the end
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"A", "D", "B", "C"}));
  DWORD length = 5;
  char name[8];
  EXPECT_EQ(RegEnumValueA(key, 4, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_P(RegistryEnumTest, EnumKeyBufferRules) {
  HKEY key = Create("enumbuf");
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExA(key, "abcdef", 0, const_cast<LPSTR>("Second"), 0, KEY_ALL_ACCESS,
                            nullptr, &child, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  for (DWORD cch : {0u, 1u, 5u, 6u, 7u, 8u}) {
    SCOPED_TRACE(cch);
    const bool fits = cch > 6;
    char name[16];
    std::memset(name, kCanary, sizeof(name));
    DWORD length = cch;
    FILETIME written = {kSentinel, kSentinel};
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, &written),
              fits ? ERROR_SUCCESS : ERROR_MORE_DATA);
    EXPECT_EQ(length, fits ? 6u : cch);
    EXPECT_NE(written.dwHighDateTime, kSentinel);  // filled either way
    if (fits) {
      EXPECT_STREQ(name, "abcdef");
    } else {
      EXPECT_EQ(static_cast<BYTE>(name[0]), kCanary);
    }
    std::memset(name, kCanary, sizeof(name));
    EXPECT_EQ(RegEnumKeyA(key, 0, name, cch), fits ? ERROR_SUCCESS : ERROR_MORE_DATA);
    if (!fits) {
      EXPECT_EQ(static_cast<BYTE>(name[0]), kCanary);
    }
  }
  char name[16];
  char klass[16];
  DWORD length = sizeof(name);
  DWORD class_length = sizeof(klass);
  ASSERT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, klass, &class_length, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(klass, "Second");
  EXPECT_EQ(class_length, 6u);
  // A pointer to a zero as lpReserved, and 87 instead of a crash for missing
  // name arguments (the platform wants lpReserved null and dereferences both).
  if (kOurStore) {
    DWORD zero = 0;
    length = sizeof(name);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, &zero, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyExA(key, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_P(RegistryEnumTest, EnumValueBufferRules) {
  HKEY key = Create("valbuf");
  SetString(key, "Test", "foobar");
  struct Case {
    DWORD name_size;
    bool data;  // a data buffer (else NULL)
    DWORD data_size;
    LONG result;
  };
  const Case cases[] = {
      {20, true, 20, ERROR_SUCCESS},  {2, true, 2, ERROR_MORE_DATA},
      {3, true, 20, ERROR_MORE_DATA}, {4, true, 20, ERROR_MORE_DATA},
      {5, true, 20, ERROR_SUCCESS},   {0, true, 20, ERROR_MORE_DATA},
      {20, true, 6, ERROR_MORE_DATA}, {20, true, 7, ERROR_SUCCESS},
      {20, false, 0, ERROR_SUCCESS},  {20, false, 100, ERROR_SUCCESS},
      {20, true, 0, ERROR_MORE_DATA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name_size << "/" << c.data_size);
    char name[32];
    BYTE data[32];
    std::memset(name, 'x', sizeof(name));
    std::memset(data, kCanary, sizeof(data));
    DWORD name_size = c.name_size;
    DWORD data_size = c.data_size;
    DWORD type = kSentinel;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, &type, c.data ? data : nullptr,
                            &data_size),
              c.result);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data_size, 7u);
    if (c.result == ERROR_SUCCESS) {
      EXPECT_EQ(name_size, 4u);
      EXPECT_STREQ(name, "Test");
      if (c.data) {
        EXPECT_EQ(std::memcmp(data, "foobar", 7), 0);
      }
    } else {
      EXPECT_EQ(name_size, c.name_size);
      // Our store writes nothing; the platform may write a truncated name and
      // the data when only the name does not fit.
      if (kOurStore || c.data_size < 7) {
        EXPECT_EQ(name[0], 'x');
        EXPECT_EQ(data[0], kCanary);
      }
    }
  }
  char name[8];
  DWORD name_size = sizeof(name);
  BYTE data[8];
  EXPECT_EQ(RegEnumValueA(key, 0, nullptr, &name_size, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumValueA(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, data, nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD zero = 0;
  if (kOurStore) {  // the platform wants lpReserved null
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, &zero, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_P(RegistryEnumTest, QueryInfoKeepsItsMaximaCurrent) {
  HKEY key = Create("info");
  struct Counts {
    DWORD subkeys, max_subkey, max_class, values, max_name, max_data;
  };
  auto counts = [&] {
    Counts c;
    std::memset(&c, 0xEE, sizeof(c));
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &c.subkeys, &c.max_subkey,
                               &c.max_class, &c.values, &c.max_name, &c.max_data, nullptr,
                               nullptr),
              ERROR_SUCCESS);
    return std::vector<DWORD>{c.subkeys, c.max_subkey, c.max_class,
                              c.values,  c.max_name,   c.max_data};
  };
  EXPECT_EQ(counts(), (std::vector<DWORD>{0, 0, 0, 0, 0, 0}));
  SetString(key, "a", "hello");
  EXPECT_EQ(counts(), (std::vector<DWORD>{0, 0, 0, 1, 1, 12}));  // stored as UTF-16
  SetBytes(key, "abcdefghij", REG_BINARY, std::string(10, 'b'));
  SetString(key, "", std::string(16, 'd'));
  EXPECT_EQ(counts(), (std::vector<DWORD>{0, 0, 0, 3, 10, 34}));
  ASSERT_EQ(RegDeleteValueA(key, ""), ERROR_SUCCESS);
  EXPECT_EQ(counts(), (std::vector<DWORD>{0, 0, 0, 2, 10, 12}));  // recomputed
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyA(key, "sub1", &child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(key, "subkey_long_name", 0, const_cast<LPSTR>("ClassNameXYZ"), 0,
                            KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(counts(), (std::vector<DWORD>{2, 16, 12, 2, 10, 12}));

  // The class string of the key itself.
  struct Case {
    bool buffer;
    DWORD size_in;
    LONG result;
    DWORD size_out;
    const char* text;
  };
  const Case cases[] = {
      {true, 0, ERROR_SUCCESS, 12, nullptr},     {true, 1, ERROR_MORE_DATA, 0, ""},
      {true, 5, ERROR_MORE_DATA, 4, "Clas"},     {true, 12, ERROR_MORE_DATA, 11, "ClassNameXY"},
      {true, 13, ERROR_SUCCESS, 12, "ClassNameXYZ"}, {false, 5, ERROR_SUCCESS, 12, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size_in);
    char klass[32];
    std::memset(klass, 'x', sizeof(klass));
    DWORD size = c.size_in;
    EXPECT_EQ(RegQueryInfoKeyA(child, c.buffer ? klass : nullptr, &size, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              c.result);
    EXPECT_EQ(size, c.size_out);
    if (c.text) {
      EXPECT_STREQ(klass, c.text);
    } else {
      EXPECT_EQ(klass[0], 'x');
    }
  }
  char klass[4];
  EXPECT_EQ(RegQueryInfoKeyA(child, klass, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_P(RegistryEnumTest, LastWriteTimeFollowsChanges) {
  HKEY key = Create("times");
  auto last_write = [](HKEY h) {
    FILETIME time = {kSentinel, kSentinel};
    EXPECT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, &time),
              ERROR_SUCCESS);
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  const std::uint64_t created = last_write(key);
  EXPECT_GT(created, 0x01D0000000000000u);  // after 2015
  SetString(key, "v", "x");
  const std::uint64_t written = last_write(key);
  EXPECT_GT(written, created);
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyA(key, "child", &child), ERROR_SUCCESS);
  const std::uint64_t grown = last_write(key);
  EXPECT_GT(grown, written);
  ASSERT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
  EXPECT_GT(last_write(key), grown);
  // Enumeration reports the subkey's own time.
  SetString(child, "w", "y");
  char name[16];
  DWORD length = sizeof(name);
  FILETIME listed = {};
  ASSERT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, &listed),
            ERROR_SUCCESS);
  EXPECT_EQ((static_cast<std::uint64_t>(listed.dwHighDateTime) << 32) | listed.dwLowDateTime,
            last_write(child));
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Stores, RegistryEnumTest, RegistryStores(), StoreName);

}  // namespace
}  // namespace keystrel::platform
