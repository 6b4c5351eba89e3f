#include "tools/keystrel/value_format.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/keystrel/command_line.h"
#include "tools/keystrel/grant_rights.h"
#include "tools/keystrel/reg_file.h"
#include "tools/keystrel/unicode.h"
#include "tools/keystrel/wildcard.h"

namespace keystrel::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ValueFormat, QueryDataColumn) {
  struct Case {
    std::uint32_t type;
    Bytes data;
    std::u16string expected;
  };
  const Case cases[] = {
      {kRegSz, ToUtf16Bytes(u"Hello, World", true), u"Hello, World"},
      {kRegSz, ToUtf16Bytes(std::u16string(u"a\0b", 3), true), u"a"},
      {kRegExpandSz, ToUtf16Bytes(u"%TEMP%", true), u"%TEMP%"},
      {kRegMultiSz, ToUtf16Bytes(std::u16string(u"a\0bc\0", 5), true), u"a\\0bc"},
      {kRegMultiSz, ToUtf16Bytes(u"", true), u""},
      {kRegDword, {0x2a, 0, 0, 0}, u"0x2a"},
      {kRegDword, {0, 0, 0, 0}, u"0x0"},
      {kRegDword, {0x33, 0, 0, 0x80}, u"0x80000033"},
      {kRegDwordBigEndian, {0, 0, 1, 2}, u"0x102"},
      {kRegDword, {1, 2}, u"0102"},
      {kRegQword, {0, 0, 0, 0, 6, 0, 0, 0}, u"0x600000000"},
      {kRegBinary, {0x00, 0xff, 0x10, 0xab}, u"00FF10AB"},
      {kRegNone, {}, u""},
      {0x1234, {0xde, 0xad}, u"DEAD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatData(c.type, c.data), c.expected) << Utf16ToUtf8(c.expected);
  }
  EXPECT_EQ(FormatData(kRegMultiSz, ToUtf16Bytes(std::u16string(u"x\0y\0", 4), true), u"#"), u"x#y");
}

TEST(ValueFormat, TypeNames) {
  EXPECT_EQ(TypeName(kRegQword), u"REG_QWORD");
  EXPECT_EQ(TypeName(0x99), u"REG_UNKNOWN");
  EXPECT_EQ(ParseTypeName(u"reg_dword"), kRegDword);
  EXPECT_EQ(ParseTypeName(u"REG_DWORD_LITTLE_ENDIAN"), kRegDword);
  EXPECT_EQ(ParseTypeName(u""), std::nullopt);
  EXPECT_EQ(ParseTypeName(u"REG_FOO"), std::nullopt);
}

// /d as reg.exe takes it, type by type.
TEST(ValueFormat, AddData) {
  struct Case {
    std::uint32_t type;
    std::optional<std::u16string> data;
    std::optional<char16_t> separator;
    std::optional<Bytes> expected;  // nullopt: rejected
  };
  const auto sz = [](std::u16string_view s) { return ToUtf16Bytes(s, true); };
  const Case cases[] = {
      {kRegSz, u"foo\\0bar", {}, sz(u"foo\\0bar")},
      {kRegSz, std::nullopt, {}, sz(u"")},
      {kRegExpandSz, u"%PATH%", {}, sz(u"%PATH%")},
      {kRegDword, u"0123", {}, Bytes{123, 0, 0, 0}},
      {kRegDword, u"0xffffffff", {}, Bytes{0xff, 0xff, 0xff, 0xff}},
      {kRegDword, u"0X10", {}, Bytes{0x10, 0, 0, 0}},
      {kRegDword, u"-1", {}, std::nullopt},
      {kRegDword, u"deadbeef", {}, std::nullopt},
      {kRegDword, u"00x123", {}, std::nullopt},
      {kRegDword, u"4294967296", {}, std::nullopt},
      {kRegDword, u"123xyz", {}, std::nullopt},
      {kRegDword, std::nullopt, {}, std::nullopt},
      {kRegDwordBigEndian, u"0x01020304", {}, Bytes{1, 2, 3, 4}},
      {kRegQword, u"-1", {}, Bytes(8, 0xff)},
      {kRegQword, u"0x600000000", {}, Bytes{0, 0, 0, 0, 6, 0, 0, 0}},
      {kRegQword, u"-0x1", {}, std::nullopt},
      {kRegQword, u"18446744073709551616", {}, std::nullopt},
      {kRegQword, std::nullopt, {}, Bytes(8, 0)},
      {kRegBinary, u"DeAdBeEf0DD", {}, Bytes{0x0d, 0xea, 0xdb, 0xee, 0xf0, 0xdd}},
      {kRegBinary, u"0x01", {}, std::nullopt},
      {kRegBinary, u"01x", {}, std::nullopt},
      {kRegBinary, std::nullopt, {}, Bytes{}},
      {kRegNone, u"deadbeef", {}, sz(u"deadbeef")},
      {kRegNone, std::nullopt, {}, Bytes{0, 0}},
      {kRegMultiSz, u"a\\0b", {}, ToUtf16Bytes(std::u16string(u"a\0b\0", 4), true)},
      {kRegMultiSz, u"a\\0", {}, ToUtf16Bytes(std::u16string(u"a\0", 2), true)},
      {kRegMultiSz, u"\\0", {}, Bytes{0, 0, 0, 0}},
      {kRegMultiSz, u"#", u'#', Bytes{0, 0, 0, 0}},
      {kRegMultiSz, u"x#y", u'#', ToUtf16Bytes(std::u16string(u"x\0y\0", 4), true)},
      {kRegMultiSz, std::nullopt, {}, Bytes{0, 0}},
      {kRegMultiSz, u"a\\0\\0b", {}, std::nullopt},
      {kRegMultiSz, u"##", u'#', std::nullopt},
      {kRegMultiSz, u"\\0a", {}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.data.value_or(u"(no /d)")) + " type " + std::to_string(c.type));
    Bytes out;
    Status s = ParseAddData(c.type, c.data ? &*c.data : nullptr, c.separator, &out);
    ASSERT_EQ(s.ok(), c.expected.has_value()) << s.message();
    if (c.expected) {
      EXPECT_EQ(out, *c.expected);
    }
  }
  Bytes out;
  EXPECT_EQ(ParseAddData(kRegDword, nullptr, {}, &out).message(),
            "Invalid syntax. Specify valid numeric value for '/d'.");
}

TEST(CommandLine, SwitchesInRegExeStyle) {
  const SwitchSpec specs[] = {{u"v", SwitchValue::kOptional}, {u"ve", SwitchValue::kNone},
                              {u"d", SwitchValue::kRequired}, {u"f", SwitchValue::kNone},
                              {u"reg:32", SwitchValue::kNone}, {u"reg:64", SwitchValue::kNone}};
  struct Case {
    std::vector<std::u16string> args;
    size_t positionals;
    bool ok;
  };
  const Case cases[] = {
      {{u"HKCU\\x", u"/V", u"name", u"-d", u"-1", u"/F"}, 1, true},
      {{u"HKCU\\x", u"/v", u"/f"}, 1, true},
      {{u"HKCU\\x", u"/ve", u"/reg:32"}, 1, true},
      {{u"HKCU\\x", u"/tmp/file.reg"}, 2, true},  // positionals are taken as they come
      {{u"HKCU\\x"}, 2, false},
      {{u"HKCU\\x", u"/f", u"/f"}, 1, false},
      {{u"HKCU\\x", u"/v", u"a", u"/v", u"b"}, 1, false},
      {{u"HKCU\\x", u"/reg:32", u"/reg:64"}, 1, false},
      {{u"HKCU\\x", u"/d"}, 1, false},
      {{u"HKCU\\x", u"/x"}, 1, false},
      {{u"HKCU\\x", u"stray"}, 1, false},
  };
  for (const Case& c : cases) {
    Arguments a;
    EXPECT_EQ(ParseArguments(c.args, c.positionals, specs, &a).ok(), c.ok)
        << Utf16ToUtf8(c.args.back());
  }
  Arguments a;
  ASSERT_TRUE(ParseArguments(std::vector<std::u16string>{u"k", u"/V", u"name", u"-d", u"-1"}, 1,
                             specs, &a)
                  .ok());
  EXPECT_EQ(*a.Value(u"v"), u"name");
  EXPECT_EQ(*a.Value(u"d"), u"-1");
  EXPECT_TRUE(IsHelpSwitch(u"-H"));
  EXPECT_TRUE(IsHelpSwitch(u"/?"));
}

TEST(Wildcard, Matching) {
  EXPECT_TRUE(WildcardMatch(u"sys", u"MySystem", false, true));
  EXPECT_FALSE(WildcardMatch(u"sys", u"MySystem", true, true));
  EXPECT_FALSE(WildcardMatch(u"sys", u"MySystem", false, false));
  EXPECT_TRUE(WildcardMatch(u"my*m", u"MySystem", false, false));
  EXPECT_TRUE(WildcardMatch(u"m?s*", u"MySystem", false, false));
  EXPECT_TRUE(WildcardMatch(u"*", u"", false, false));
  EXPECT_FALSE(WildcardMatch(u"a*b*c", u"aXbY", false, false));
}

TEST(GrantRights, ParseAndDescribe) {
  std::uint32_t r = 0;
  EXPECT_TRUE(ParseRights(u"read", &r));
  EXPECT_EQ(r, 0x20019u);
  EXPECT_TRUE(ParseRights(u"KEY_QUERY_VALUE | enumerate_sub_keys", &r));
  EXPECT_EQ(r, 9u);
  EXPECT_TRUE(ParseRights(u"0x1,notify", &r));
  EXPECT_EQ(r, 0x11u);
  EXPECT_TRUE(ParseRights(u"none", &r));
  EXPECT_EQ(r, 0u);
  EXPECT_FALSE(ParseRights(u"READ|", &r));
  EXPECT_FALSE(ParseRights(u"bogus", &r));
  EXPECT_EQ(DescribeRights(0xF003F), u"KEY_ALL_ACCESS");
  EXPECT_EQ(DescribeRights(0x20019), u"KEY_READ");
  EXPECT_EQ(DescribeRights(0x11), u"KEY_QUERY_VALUE | KEY_NOTIFY");
  EXPECT_EQ(DescribeRights(0x10001), u"KEY_QUERY_VALUE | 0x10000");
  EXPECT_EQ(DescribeRights(0), u"(none)");
  EXPECT_EQ(FormatRightsNumber(0x20019), u"0x20019");
}

}  // namespace
}  // namespace keystrel::cli
