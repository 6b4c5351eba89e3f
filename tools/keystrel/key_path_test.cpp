#include "tools/keystrel/key_path.h"

#include <gtest/gtest.h>

#include "tools/keystrel/unicode.h"

namespace keystrel::cli {
namespace {

TEST(KeyPath, ParsesTheCommandLineForms) {
  struct Case {
    std::u16string text;
    KeySyntax syntax;
    bool ok;
    std::u16string full_path;
  };
  const Case cases[] = {
      {u"HKCU", KeySyntax::kAdd, true, u"HKEY_CURRENT_USER"},
      {u"hkcu\\software\\rf2\\a", KeySyntax::kAdd, true, u"HKEY_CURRENT_USER\\software\\rf2\\a"},
      {u"HKEY_LOCAL_MACHINE\\Software\\", KeySyntax::kAdd, true, u"HKEY_LOCAL_MACHINE\\Software"},
      {u"HKCR\\.txt", KeySyntax::kLenient, true, u"HKEY_CLASSES_ROOT\\.txt"},
      {u"HKU\\x", KeySyntax::kLenient, true, u"HKEY_USERS\\x"},
      {u"HKCC\\System", KeySyntax::kLenient, true, u"HKEY_CURRENT_CONFIG\\System"},
      {u"HKCU\\a\\https://winehq.org", KeySyntax::kAdd, true, u"HKEY_CURRENT_USER\\a\\https://winehq.org"},
      {u"HKCU\\", KeySyntax::kLenient, true, u"HKEY_CURRENT_USER"},
      {u"HKCU\\", KeySyntax::kAdd, false, u""},
      {u"HKEY_CURRENT_USER\\", KeySyntax::kAdd, false, u""},
      {u"HKCU\\a\\\\", KeySyntax::kLenient, false, u""},
      {u"\\HKCU\\a", KeySyntax::kLenient, false, u""},
      {u"HKCUX\\a", KeySyntax::kLenient, false, u""},
      {u"HKEY_DYN_DATA\\a", KeySyntax::kLenient, false, u""},
      {u"", KeySyntax::kLenient, false, u""},
      {u"\\\\PC\\HKLM\\Software", KeySyntax::kLenient, true, u"\\\\PC\\HKEY_LOCAL_MACHINE\\Software"},
      {u"\\\\PC\\HKU", KeySyntax::kLenient, true, u"\\\\PC\\HKEY_USERS"},
      {u"\\\\PC\\HKCU\\Software", KeySyntax::kLenient, false, u""},
      {u"\\\\PC", KeySyntax::kLenient, false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    KeyArgument key;
    Status s = ParseKeyArgument(c.text, c.syntax, &key);
    ASSERT_EQ(s.ok(), c.ok) << s.message();
    if (c.ok) {
      EXPECT_EQ(key.FullPath(), c.full_path);
    } else {
      EXPECT_EQ(s.message(), "Invalid key name.");
    }
  }
}

TEST(KeyPath, RootNamesIgnoreCase) {
  EXPECT_EQ(FindRoot(u"hkey_users", false)->handle, 0x80000003u);
  EXPECT_EQ(FindRoot(u"HKU", false), nullptr);
  EXPECT_EQ(FindRoot(u"HKEY_DYN_DATA", true)->handle, 0x80000006u);
}

TEST(Unicode, ConversionsAndFolding) {
  bool valid = true;
  EXPECT_EQ(Utf8ToUtf16("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80", &valid),
            u"Grüße € \U0001F600");
  EXPECT_TRUE(valid);
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b\xC3", &valid), u"a\uFFFDb\uFFFD");
  EXPECT_FALSE(valid);
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF", &valid), u"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(Utf16ToUtf8(u"Grüße € \U0001F600"), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_TRUE(EqualsIgnoreCase(u"ÉtÉ Ÿ Ж", u"été ÿ ж"));
  EXPECT_LT(CompareIgnoreCase(u"a", u"B"), 0);
  EXPECT_LT(CompareIgnoreCase(u"ab", u"abc"), 0);
  EXPECT_GT(CompareIgnoreCase(u"_", u"Z"), 0);  // upper-case fold: _ after the letters
}

}  // namespace
}  // namespace keystrel::cli
