#include "frame/ustring.h"

#include <map>
#include <string>

#include <gtest/gtest.h>

namespace keystrel {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const UString u = Utf8ToU(text);
  EXPECT_EQ(u, (UString{u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(UToUtf8(u), text);
}

TEST(Utf8, KeepsNul) {
  const std::string text("a\0b", 3);
  EXPECT_EQ(Utf8ToU(text), UString(u"a\0b", 3));
  EXPECT_EQ(UToUtf8(UString(u"a\0b", 3)), text);
}

TEST(Utf8, InvalidInputBecomesReplacementCharacters) {
  struct Row {
    std::string in;
    UString out;
  };
  const Row rows[] = {
      {"\xFF", u"\uFFFD"},
      {"\xC3", u"\uFFFD"},                 // truncated at the end
      {"\xC3x", u"\uFFFDx"},               // truncated before an ASCII byte
      {"\xE2\x82x", u"\uFFFDx"},           // one replacement for the whole prefix
      {"\xC0\xAF", u"\uFFFD\uFFFD"},       // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\x80", u"\uFFFD"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.in);
    EXPECT_EQ(Utf8ToU(r.in), r.out);
  }
}

TEST(Utf8, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(UToUtf8(UString{0xD800}), "\xEF\xBF\xBD");
  EXPECT_EQ(UToUtf8(UString{0xDC00, u'a'}), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(UToUtf8(UString{0xD83D, u'a'}), "\xEF\xBF\xBD" "a");
}

TEST(TextFold, UpperCasesTheCommonScripts) {
  struct Row {
    char16_t in, out;
  };
  const Row rows[] = {
      {u'a', u'A'},       {u'z', u'Z'},       {u'A', u'A'},       {u'1', u'1'},
      {0x00E9, 0x00C9},   {0x00FE, 0x00DE},   {0x00F7, 0x00F7},   {0x00FF, 0x0178},
      {0x00DF, 0x00DF},   {0x0101, 0x0100},   {0x013A, 0x0139},   {0x0148, 0x0147},
      {0x0151, 0x0150},   {0x017E, 0x017D},   {0x017F, u'S'},     {0x0131, u'I'},
      {0x03B1, 0x0391},   {0x03C2, 0x03A3},   {0x03C3, 0x03A3},   {0x03AC, 0x0386},
      {0x03CE, 0x038F},   {0x0430, 0x0410},   {0x044F, 0x042F},   {0x0451, 0x0401},
      {0x045F, 0x040F},   {0x0491, 0x0490},   {0x04CF, 0x04C0},   {0xFF41, 0xFF21},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.in));
    EXPECT_EQ(TextFold(r.in), r.out);
  }
}

TEST(TextFold, LowerIsTheInverseForOrdinaryLetters) {
  EXPECT_EQ(TextLower(u"ÉTÉ ΣΟΦΙΑ МОСКВА ĀŁ"), u"été σοφια москва āł");
  EXPECT_EQ(TextUpper(u"été σοφια москва āł"), u"ÉTÉ ΣΟΦΙΑ МОСКВА ĀŁ");
  EXPECT_EQ(TextLower(u"IS"), u"is");  // not dotless i or long s
}

TEST(TextCompare, IgnoresCaseAndKeepsNulOrdinary) {
  EXPECT_EQ(TextCompare(u"été", u"ÉTÉ"), 0);
  EXPECT_TRUE(TextEquals(u"Software\\Run", u"SOFTWARE\\run"));
  EXPECT_LT(TextCompare(u"abc", u"ABD"), 0);
  EXPECT_GT(TextCompare(u"abd", u"ABC"), 0);
  EXPECT_LT(TextCompare(u"ab", u"ABC"), 0);
  EXPECT_LT(TextCompare(UString(u"a\0b", 3), UString(u"a\0c", 3)), 0);
  EXPECT_NE(TextCompare(UString(u"a\0b", 3), u"a"), 0);
  EXPECT_EQ(TextCompare(u"", u""), 0);
}

TEST(TextFind, FindsWithoutRegardToCase) {
  EXPECT_EQ(TextFind(u"HKEY_Current_User\\Software", u"software"), 18u);
  EXPECT_EQ(TextFind(u"abcABC", u"ABC", 1), 3u);
  EXPECT_EQ(TextFind(u"abc", u"abcd"), UString::npos);
  EXPECT_EQ(TextFind(u"abc", u"", 3), 3u);
  EXPECT_EQ(TextFind(u"abc", u"", 4), UString::npos);
  EXPECT_EQ(TextFind(UString(u"a\0b", 3), UString(1, u'\0')), 1u);
}

TEST(TextLess, KeysDifferingInCaseAreOneKey) {
  std::map<UString, int, TextLess> m;
  m[u"Run"] = 1;
  m[u"RUN"] = 2;
  EXPECT_EQ(m.size(), 1u);
  EXPECT_EQ(m.find(UStringView(u"run"))->second, 2);
}

}  // namespace
}  // namespace keystrel
