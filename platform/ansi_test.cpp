// The ANSI boundary: code page tables, unmappable characters, multi-byte code
// pages, and a registry written under one code page read under another.
#include "platform/ansi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/admin.h"
#include "platform/internal/ansi_codec.h"
#include "platform/registry.h"

namespace keystrel::platform {
namespace {

using detail::AnsiCodec;
using namespace std::string_literals;

std::u16string Decode(const AnsiCodec& codec, std::string_view bytes) {
  std::u16string out;
  codec.Decode(bytes, out);
  return out;
}

std::string Encode(const AnsiCodec& codec, std::u16string_view text) {
  std::string out;
  codec.Encode(text, out);
  return out;
}

TEST(AnsiCodecTest, ConversionsPerCodePage) {
  struct Case {
    unsigned code_page;
    std::string ansi;
    std::u16string text;
  };
  const Case cases[] = {
      {1252, "caf\xE9 \x80 \xFF"s, u"caf\u00E9 \u20AC \u00FF"},
      {1252, "a\0b\0"s, u"a\0b\0"s},                  // NULs are ordinary characters
      {1252, "\x81\x8D\x8F\x90\x9D"s, u"\u0081\u008D\u008F\u0090\u009D"},  // undefined: identity
      {1251, "\xCF\xF0\xE8\xE2\xE5\xF2"s, u"\u041F\u0440\u0438\u0432\u0435\u0442"},
      {932, "\x82\xA0\x93\xFA\x96\x7B"s, u"\u3042\u65E5\u672C"},
      {65001, "\xE2\x82\xAC\xF0\x9F\x98\x80"s, u"\u20AC\U0001F600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code_page);
    std::unique_ptr<AnsiCodec> codec = AnsiCodec::ForCodePage(c.code_page);
    ASSERT_NE(codec, nullptr);
    EXPECT_EQ(codec->code_page(), c.code_page);
    EXPECT_EQ(Decode(*codec, c.ansi), c.text);
    EXPECT_EQ(Encode(*codec, c.text), c.ansi);
  }
}

TEST(AnsiCodecTest, WhatACodePageCannotHoldBecomesAQuestionMark) {
  std::unique_ptr<AnsiCodec> cp1252 = AnsiCodec::ForCodePage(1252);
  // No best fit: A-macron is not turned into A.
  EXPECT_EQ(Encode(*cp1252, u"\u0416\u4E2Da\u0100"), "??a?");
  EXPECT_EQ(Encode(*cp1252, u"\U0001F600"), "?");        // one per code point
  EXPECT_EQ(Encode(*cp1252, u"x\xD800y"), "x?y");        // lone surrogate
  std::unique_ptr<AnsiCodec> cp932 = AnsiCodec::ForCodePage(932);
  EXPECT_EQ(Encode(*cp932, u"\u0416\u00E9"), "\x84\x47?");
  // Bytes that do not decode in a multi-byte code page.
  EXPECT_EQ(Decode(*cp932, "a\x82"), u"a\uFFFD");
  std::unique_ptr<AnsiCodec> utf8 = AnsiCodec::ForCodePage(65001);
  EXPECT_EQ(Decode(*utf8, "\xFF"), u"\uFFFD");
}

TEST(AnsiCodecTest, SettingsNameCodePagesByNumberOrIconvName) {
  EXPECT_EQ(AnsiCodec::FromSetting("1251")->code_page(), 1251u);
  EXPECT_EQ(AnsiCodec::FromSetting("WINDOWS-1250")->code_page(), 1250u);
  EXPECT_EQ(AnsiCodec::FromSetting("UTF-8")->code_page(), 65001u);
  EXPECT_EQ(AnsiCodec::FromSetting("no such code page"), nullptr);
  EXPECT_EQ(AnsiCodec::FromSetting("999999"), nullptr);
}

// KEYSTREL_ACP is read once per process; ctest runs this binary a second
// time with it set (see CMakeLists.txt).
TEST(AnsiCodecTest, TheProcessCodePageFollowsKeystrelAcp) {
  const char* setting = std::getenv("KEYSTREL_ACP");
  unsigned expected = setting ? static_cast<unsigned>(std::atoi(setting)) : 1252;
  EXPECT_EQ(AnsiCodePage(), expected);
  if (expected == 1252) {
    EXPECT_EQ(ToAnsi(u"\u00E9\u20AC"), "\xE9\x80");
  }
  if (expected == 1251) {
    EXPECT_EQ(ToAnsi(u"\u0416\u00E9"), "\xC6?");
  }
  EXPECT_EQ(FromAnsi(ToAnsi(u"plain")), u"plain");
}

// Strings are kept in Unicode: what one code page wrote reads right in another.
TEST(AnsiCodecTest, ARegistryWrittenUnderOneCodePageReadsRightUnderAnother) {
  std::unique_ptr<AnsiCodec> cp1251 = AnsiCodec::ForCodePage(1251);
  std::unique_ptr<AnsiCodec> cp1252 = AnsiCodec::ForCodePage(1252);
  ASSERT_EQ(UseLocalStore(StoreKind::kMemory), 0);
  detail::SetCodecForTesting(cp1251.get());
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\\xCA\xEE\xE4", &key), ERROR_SUCCESS);
  const char text[] = "\xCF\xF0\xE8\xE2\xE5\xF2";  // Privet, Cyrillic
  ASSERT_EQ(RegSetValueExA(key, "\xE8\xEC\xFF", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           sizeof(text)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // Under UTF-8 the same key, value and text come back in UTF-8.
  std::unique_ptr<AnsiCodec> utf8 = AnsiCodec::ForCodePage(65001);
  detail::SetCodecForTesting(utf8.get());
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\\xD0\x9A\xD0\xBE\xD0\xB4", 0, KEY_READ,
                          &key),
            ERROR_SUCCESS);
  char buffer[64] = {};
  DWORD size = sizeof(buffer);
  EXPECT_EQ(RegQueryValueExA(key, "\xD0\xB8\xD0\xBC\xD1\x8F", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(size, 13u);  // the size is the one of this code page's bytes
  // Under 1252 the Cyrillic letters cannot be shown.
  detail::SetCodecForTesting(cp1252.get());
  size = sizeof(buffer);
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             &size),
            ERROR_FILE_NOT_FOUND);
  char name[16];
  DWORD name_size = sizeof(name);
  size = sizeof(buffer);
  EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "???");
  EXPECT_STREQ(buffer, "??????");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  detail::SetCodecForTesting(nullptr);
}

}  // namespace
}  // namespace keystrel::platform
