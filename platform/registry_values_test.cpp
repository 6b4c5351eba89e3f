// Values: writing, reading with the platform's buffer rules, deleting.
#include <cstring>

#include "platform/registry_fixture.h"

namespace keystrel::platform {
namespace {

constexpr BYTE kCanary = 0xBD;
constexpr DWORD kSentinel = 0xDEADBEEF;

class RegistryValuesTest : public RegistryTest {};

TEST_P(RegistryValuesTest, QueryFollowsTheBufferRules) {
  SetString(base_, "s", "hello");
  struct Case {
    bool buffer;
    DWORD size_in;
    LONG result;
    DWORD size_out;
    bool written;
  };
  const Case cases[] = {
      {false, kSentinel, ERROR_SUCCESS, 6, false}, {true, 0, ERROR_MORE_DATA, 6, false},
      {true, 5, ERROR_MORE_DATA, 6, false},         {true, 6, ERROR_SUCCESS, 6, true},
      {true, 20, ERROR_SUCCESS, 6, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size_in);
    BYTE data[32];
    std::memset(data, kCanary, sizeof(data));
    DWORD type = kSentinel;
    DWORD size = c.size_in;
    EXPECT_EQ(RegQueryValueExA(base_, "S", nullptr, &type, c.buffer ? data : nullptr, &size),
              c.result);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, c.size_out);
    if (c.written) {
      EXPECT_EQ(std::memcmp(data, "hello", 6), 0);
    }
    for (std::size_t i = c.written ? 6 : 0; i < sizeof(data); ++i) {
      ASSERT_EQ(data[i], kCanary) << "byte " << i;
    }
  }
  BYTE data[8];
  DWORD reserved = 0;
  DWORD size = sizeof(data);
  EXPECT_EQ(RegQueryValueExA(base_, "s", &reserved, nullptr, data, &size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(base_, "s", nullptr, nullptr, data, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(base_, "s", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

TEST_P(RegistryValuesTest, MissingValue) {
  DWORD type = kSentinel;
  DWORD size = kSentinel;
  EXPECT_EQ(RegQueryValueExA(base_, "missing", nullptr, &type, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, REG_NONE);
  EXPECT_EQ(size, 0u);
  BYTE data[20];
  std::memset(data, kCanary, sizeof(data));
  type = kSentinel;
  size = sizeof(data);
  EXPECT_EQ(RegQueryValueExA(base_, "missing", nullptr, &type, data, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, REG_NONE);
  EXPECT_EQ(size, sizeof(data));
  EXPECT_EQ(data[0], kCanary);
  EXPECT_EQ(RegDeleteValueA(base_, "missing"), ERROR_FILE_NOT_FOUND);
}

// String data: what was written (type, bytes, size) and what an ANSI read gives.
TEST_P(RegistryValuesTest, StringsAreStoredWithTheirTerminator) {
  struct Case {
    DWORD type;
    std::string bytes;  // the caller's buffer; `size` of it is passed
    DWORD size;
    std::string read;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {REG_SZ, "FullString\0"s, 11, "FullString\0"s},
      {REG_SZ, "FullString"s, 9, "FullStrin\0"s},  // the size left the NUL out: one is added
      {REG_SZ, "abcX"s, 2, "ab\0"s},
      {REG_SZ, "abc"s, 0, ""s},
      {REG_SZ, "\0"s, 1, "\0"s},
      {REG_SZ, "ab\0cd\0"s, 6, "ab\0cd\0"s},          // embedded NULs kept
      {REG_SZ, "ab\0\0zzzzzz"s, 10, "ab\0\0zzzzzz\0"s},  // bytes after a NUL kept
      {REG_EXPAND_SZ, "%PATH%\\x\0"s, 9, "%PATH%\\x\0"s},  // not expanded
      {REG_MULTI_SZ, "a\0b\0\0"s, 5, "a\0b\0\0"s},
      {REG_MULTI_SZ, "a\0b\0"s, 4, "a\0b\0"s},
      {REG_MULTI_SZ, "a\0b"s, 3, "a\0b\0"s},
      {REG_MULTI_SZ, "a\0\0b\0\0"s, 6, "a\0\0b\0\0"s},
      {REG_SZ, "\xE9\x80\xFF\0"s, 4, "\xE9\x80\xFF\0"s},  // cp1252 round trip
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    // The platform adds the NUL only when the byte after the size is one.
    const bool nul_left_out = c.size > 0 && c.size < c.bytes.size() && c.bytes[c.size] != '\0';
    if (!kOurStore && nul_left_out) continue;
    ASSERT_EQ(RegSetValueExA(base_, "str", 0, c.type,
                             reinterpret_cast<const BYTE*>(c.bytes.data()), c.size),
              ERROR_SUCCESS);
    DWORD type = kSentinel;
    EXPECT_EQ(Read(base_, "str", &type), c.read);
    EXPECT_EQ(type, c.type);
  }
  // Never read past the size given: data at the end of a page-sized buffer.
  // The platform looks at the byte after the size, so only our stores.
  if (!kOurStore) return;
  std::vector<char> tail(4096, 'z');
  ASSERT_EQ(RegSetValueExA(base_, "tail", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(tail.data() + tail.size() - 3), 3),
            ERROR_SUCCESS);
  EXPECT_EQ(Read(base_, "tail"), std::string("zzz\0", 4));
}

TEST_P(RegistryValuesTest, TypesAndSizesAreNotValidated) {
  struct Case {
    DWORD type;
    std::string bytes;
  };
  const Case cases[] = {
      {REG_DWORD, std::string("\x01\x02", 2)},
      {REG_DWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {REG_DWORD, std::string()},
      {REG_DWORD_BIG_ENDIAN, std::string("\x01\x02\x03\x04", 4)},
      {REG_QWORD, std::string("\x01\x02\x03\x04", 4)},
      {REG_LINK, std::string("l\0i\0n\0k\0", 8)},  // not a string type: not converted
      {REG_BINARY, std::string("\0\xFF\0", 3)},
      {REG_NONE, std::string("x", 1)},
      {0xFFFFFFFF, std::string("any", 3)},
      {0x80000000, std::string()},
      {REG_BINARY, std::string(1 << 20, '\x5A')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SetBytes(base_, "typed", c.type, c.bytes);
    DWORD type = kSentinel;
    EXPECT_EQ(Read(base_, "typed", &type), c.bytes);
    EXPECT_EQ(type, c.type);
  }
  DWORD value = 7;
  ASSERT_EQ(RegSetValueExA(base_, "d", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
            ERROR_SUCCESS);
  BYTE small[3];
  std::memset(small, kCanary, sizeof(small));
  DWORD size = 3;
  EXPECT_EQ(RegQueryValueExA(base_, "d", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(small[0], kCanary);
}

TEST_P(RegistryValuesTest, BadDataPointers) {
  for (DWORD type : {REG_BINARY, REG_DWORD, REG_SZ, REG_MULTI_SZ}) {
    EXPECT_EQ(RegSetValueExA(base_, "p", 0, type, nullptr, 4), ERROR_NOACCESS) << type;
  }
  EXPECT_EQ(RegSetValueExA(base_, "p", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(Read(base_, "p"), "");
}

TEST_P(RegistryValuesTest, NamesIgnoreCaseAndKeepTheirSpelling) {
  SetString(base_, "Mixed", "one");
  DWORD value = 2;
  ASSERT_EQ(RegSetValueExA(base_, "mIXED", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
            ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Read(base_, "MIXED", &type), std::string("\x02\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(ValueNames(base_), std::vector<std::string>{"Mixed"});
  SetString(base_, "\xE9t\xE9", "accent");
  EXPECT_EQ(Read(base_, "\xC9T\xC9"), std::string("accent", 7));  // É = é
  // NULL and "" both name the default value.
  SetString(base_, nullptr, "default");
  EXPECT_EQ(Read(base_, ""), std::string("default", 8));
  EXPECT_EQ(RegDeleteValueA(base_, ""), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(base_, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_P(RegistryValuesTest, NameLengthLimits) {
  const std::string longest(16383, 'n');
  const std::string too_long(16384, 'n');
  const std::string far_too_long(32767, 'n');
  SetString(base_, longest.c_str(), "x");
  EXPECT_EQ(Read(base_, longest.c_str()), std::string("x", 2));
  BYTE one = 1;
  EXPECT_EQ(RegSetValueExA(base_, too_long.c_str(), 0, REG_BINARY, &one, 1),
            ERROR_INVALID_PARAMETER);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(base_, too_long.c_str(), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(base_, too_long.c_str()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(base_, far_too_long.c_str(), nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueA(base_, far_too_long.c_str()), ERROR_INVALID_PARAMETER);
  DWORD max_name = 0;
  EXPECT_EQ(RegQueryInfoKeyA(base_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &max_name, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(max_name, 16383u);
}

TEST_P(RegistryValuesTest, DeleteValue) {
  SetString(base_, "a", "1");
  SetString(base_, "b", "2");
  EXPECT_EQ(RegDeleteValueA(base_, "A"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(base_, "a"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ValueNames(base_), std::vector<std::string>{"b"});
}

INSTANTIATE_TEST_SUITE_P(Stores, RegistryValuesTest, RegistryStores(), StoreName);

}  // namespace
}  // namespace keystrel::platform
