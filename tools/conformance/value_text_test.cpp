#include "tools/conformance/value_text.h"

#include <gtest/gtest.h>

namespace keystrel::conformance {
namespace {

TEST(ValueText, CurrencyReadsExactlyAndWritesShortest) {
  struct Row {
    const char* text;
    std::int64_t scaled;
    const char* shown;
  };
  const Row rows[] = {
      {"12.5", 125000, "12.5"},
      {"-0.0001", -1, "-0.0001"},
      {"+3", 30000, "3"},
      {"0", 0, "0"},
      {"922337203685477.5807", INT64_MAX, "922337203685477.5807"},
      {"-922337203685477.5808", INT64_MIN, "-922337203685477.5808"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::optional<Currency> c = ParseCurrency(r.text);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->scaled, r.scaled);
    EXPECT_EQ(FormatCurrencyText(*c), r.shown);
  }
  // Five decimals would be rounded away, a value past 64 bits would wrap: both refused.
  for (const char* bad : {"1.00001", "922337203685477.5808", "1e3", "", "-", "1.2.3", " 1"}) {
    EXPECT_FALSE(ParseCurrency(bad).has_value()) << bad;
  }
}

TEST(ValueText, DecimalKeepsScaleButComparesByValue) {
  std::optional<Decimal> a = ParseDecimal("12.50");
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->scale, 2);
  EXPECT_EQ(a->lo64, 1250u);
  EXPECT_EQ(FormatDecimalText(*a), "12.50");
  EXPECT_EQ(NormalizeDecimal(*a), NormalizeDecimal(*ParseDecimal("12.5")));
  EXPECT_EQ(NormalizeDecimal(*ParseDecimal("-0.000")), NormalizeDecimal(*ParseDecimal("0")));
  EXPECT_EQ(FormatDecimalText(*ParseDecimal("-0.05")), "-0.05");

  std::optional<Decimal> max = ParseDecimal("79228162514264337593543950335");  // 2^96 - 1
  ASSERT_TRUE(max.has_value());
  EXPECT_EQ(max->hi32, 0xFFFFFFFFu);
  EXPECT_EQ(max->lo64, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_FALSE(ParseDecimal("79228162514264337593543950336").has_value());
  EXPECT_FALSE(ParseDecimal("0.00000000000000000000000000001").has_value());  // 29 decimals
}

TEST(ValueText, DatesUseTheAutomationDayCount) {
  struct Row {
    const char* text;
    double days;
    const char* shown;
  };
  const Row rows[] = {
      {"1899-12-30", 0.0, "1899-12-30"},
      {"1900-01-01", 2.0, "1900-01-01"},
      {"2001-02-03 04:05:06", 36925.0 + (4 * 3600 + 5 * 60 + 6) / 86400.0, "2001-02-03 04:05:06"},
      {"2001-02-03T12:00", 36925.5, "2001-02-03 12:00:00"},
      {"06:00:00", 0.25, "1899-12-30 06:00:00"},
      // Before day 0 the day counts back and the time forward.
      {"1899-12-29 06:00:00", -1.25, "1899-12-29 06:00:00"},
      {"2000-02-29", 36585.0, "2000-02-29"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::optional<Date> d = ParseDate(r.text);
    ASSERT_TRUE(d.has_value());
    EXPECT_DOUBLE_EQ(d->days, r.days);
    EXPECT_EQ(FormatDateText(*d), r.shown);
  }
  for (const char* bad : {"2001-02-30", "1900-02-29", "2001-13-01", "2001-02-03 24:00",
                          "0099-01-01", "2001/02/03", "2001-02-03 4:05:06"}) {
    EXPECT_FALSE(ParseDate(bad).has_value()) << bad;
  }
}

TEST(ValueText, HexBytesTakePairsWithOptionalBlanks) {
  EXPECT_EQ(ParseHexBytes("0a ff"), (std::vector<std::uint8_t>{0x0a, 0xff}));
  EXPECT_EQ(ParseHexBytes("0AfF10"), (std::vector<std::uint8_t>{0x0a, 0xff, 0x10}));
  EXPECT_EQ(ParseHexBytes(""), std::vector<std::uint8_t>{});
  for (const char* bad : {"0", "0 a", "zz", "0a,ff"}) {
    EXPECT_FALSE(ParseHexBytes(bad).has_value()) << bad;
  }
  EXPECT_EQ(FormatHexBytes({0x0a, 0xff, 0x00}), "0a ff 00");
}

}  // namespace
}  // namespace keystrel::conformance
