#include "frame/convert.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/safe_array.h"

namespace keystrel {
namespace {

#define EXPECT_RAISES(stmt, expected)                                 \
  do {                                                                \
    try {                                                             \
      stmt;                                                           \
      ADD_FAILURE() << #stmt " raised nothing";                       \
    } catch (const AutomationError& e) {                              \
      EXPECT_EQ(e.number(), expected) << #stmt ": " << e.what();      \
    }                                                                 \
  } while (0)

// An object whose default member gives a fixed value.
class ValueObject : public Object {
 public:
  explicit ValueObject(Variant v) : value_(std::move(v)) {}
  Variant Invoke(std::int32_t dispid, std::uint16_t, std::span<Arg>) override {
    if (dispid != kDispidValue) RaiseError(rt::kMemberNotFound);
    return value_;
  }
  Variant value_;
};

// An object without a default member.
class NoDefault : public Object {
 public:
  Variant Invoke(std::int32_t, std::uint16_t, std::span<Arg>) override {
    RaiseError(rt::kMemberNotFound);
  }
};

Variant Str(const char16_t* s) { return Variant(s); }
Variant Cur(std::int64_t scaled) { return Variant::FromCurrency({scaled}); }
Variant Dbl(double d) { return Variant::Double(d); }
Variant Dec(std::uint64_t lo, std::uint8_t scale, bool negative = false) {
  return Variant::FromDecimal({0, lo, scale, negative});
}

struct Row {
  Variant in;
  VarType target;
  Variant out;      // when error == 0
  int error = 0;
};

void CheckRows(const std::vector<Row>& rows) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(testing::Message() << "row " << i << " target " << static_cast<int>(r.target)
                                    << " input " << UToUtf8(r.in.is_string() ? r.in.string()
                                                                               : u""));
    if (r.error) {
      EXPECT_RAISES(ChangeType(r.in, r.target), r.error);
    } else {
      Variant got;
      EXPECT_NO_THROW(got = ChangeType(r.in, r.target));
      EXPECT_EQ(got.type(), r.out.type());
      EXPECT_TRUE(got == r.out) << UToUtf8(got.is_string() ? got.string() : u"(not text)");
    }
  }
}

Row Fails(Variant in, VarType target, int error) { return Row{std::move(in), target, {}, error}; }

TEST(ChangeType, ToText) {
  const double t = (4 * 3600 + 5 * 60 + 6) / 86400.0;
  CheckRows({
      {Dbl(1.0 / 3), VarType::kString, Str(u"0.333333333333333")},
      {Dbl(2.0 / 3), VarType::kString, Str(u"0.666666666666667")},
      {Dbl(1e20), VarType::kString, Str(u"1E+20")},
      {Dbl(1e100), VarType::kString, Str(u"1E+100")},
      {Dbl(1e15), VarType::kString, Str(u"1E+15")},
      {Dbl(999999999999999.0), VarType::kString, Str(u"999999999999999")},
      {Dbl(123456789012345678.0), VarType::kString, Str(u"1.23456789012346E+17")},
      {Dbl(0.00001), VarType::kString, Str(u"1E-05")},
      {Dbl(0.0001), VarType::kString, Str(u"0.0001")},
      {Dbl(-1.5), VarType::kString, Str(u"-1.5")},
      {Dbl(0.1 + 0.2), VarType::kString, Str(u"0.3")},
      {Dbl(-0.0), VarType::kString, Str(u"0")},
      {Dbl(100), VarType::kString, Str(u"100")},
      {Variant::Single(1.0f / 3), VarType::kString, Str(u"0.3333333")},
      {Variant::Single(0.1f), VarType::kString, Str(u"0.1")},
      {Variant::Single(1e20f), VarType::kString, Str(u"1E+20")},
      {VBool(true), VarType::kString, Str(u"True")},
      {VBool(false), VarType::kString, Str(u"False")},
      {Variant::Byte(255), VarType::kString, Str(u"255")},
      {Variant::Integer(-32768), VarType::kString, Str(u"-32768")},
      {VLong(INT32_MIN), VarType::kString, Str(u"-2147483648")},
      {Cur(123456789), VarType::kString, Str(u"12345.6789")},
      {Cur(15000), VarType::kString, Str(u"1.5")},
      {Cur(-1), VarType::kString, Str(u"-0.0001")},
      {Cur(INT64_MIN), VarType::kString, Str(u"-922337203685477.5808")},
      {Dec(150, 2), VarType::kString, Str(u"1.5")},
      {Dec(5, 2, true), VarType::kString, Str(u"-0.05")},
      {Dec(0, 5), VarType::kString, Str(u"0")},
      {Variant::FromDate({36925 + t}), VarType::kString, Str(u"2/3/2001 4:05:06 AM")},
      {Variant::FromDate({36925}), VarType::kString, Str(u"2/3/2001")},
      {Variant::FromDate({36925.75}), VarType::kString, Str(u"2/3/2001 6:00:00 PM")},
      {Variant::FromDate({0.5}), VarType::kString, Str(u"12:00:00 PM")},
      {Variant::FromDate({0}), VarType::kString, Str(u"12:00:00 AM")},
      {Variant::FromDate({-1.25}), VarType::kString, Str(u"12/29/1899 6:00:00 AM")},
      {Variant::FromDate({1.0 - 1e-9}), VarType::kString, Str(u"12/31/1899")},
      {Variant::FromDate({2958465.99998}), VarType::kString, Str(u"12/31/9999 11:59:58 PM")},
      {Variant::FromDate({-657434}), VarType::kString, Str(u"1/1/100")},
      {Variant::FromDate({2958465.999999}), VarType::kString, Str(u"12/31/9999 11:59:59 PM")},
      Fails(Variant::FromDate({1e10}), VarType::kString, 5),
      {Variant(), VarType::kString, Str(u"")},
      {Str(u"same"), VarType::kString, Str(u"same")},
      Fails(Variant::Null(), VarType::kString, 94),
      Fails(Variant::Missing(), VarType::kString, 13),
      Fails(Variant::Array(SafeArray::Strings({u"a"})), VarType::kString, 13),
  });
}

TEST(ChangeType, ToLongRoundsHalfToEven) {
  CheckRows({
      {Dbl(2.5), VarType::kLong, VLong(2)},
      {Dbl(3.5), VarType::kLong, VLong(4)},
      {Dbl(-2.5), VarType::kLong, VLong(-2)},
      {Dbl(-3.5), VarType::kLong, VLong(-4)},
      {Dbl(2.4999999), VarType::kLong, VLong(2)},
      {Dbl(2.5000001), VarType::kLong, VLong(3)},
      {Dbl(2147483647.4), VarType::kLong, VLong(INT32_MAX)},
      Fails(Dbl(2147483647.5), VarType::kLong, 6),
      {Dbl(-2147483648.5), VarType::kLong, VLong(INT32_MIN)},
      Fails(Dbl(-2147483649.0), VarType::kLong, 6),
      Fails(Dbl(std::numeric_limits<double>::quiet_NaN()), VarType::kLong, 6),
      Fails(Dbl(std::numeric_limits<double>::infinity()), VarType::kLong, 6),
      {Variant::Single(3.5f), VarType::kLong, VLong(4)},
      {Cur(25000), VarType::kLong, VLong(2)},
      {Cur(35000), VarType::kLong, VLong(4)},
      {Cur(-25001), VarType::kLong, VLong(-3)},
      {Dec(25, 1), VarType::kLong, VLong(2)},
      {Dec(35, 1, true), VarType::kLong, VLong(-4)},
      {Variant::FromDate({1.5}), VarType::kLong, VLong(2)},
      {VBool(true), VarType::kLong, VLong(-1)},
      {Variant(), VarType::kLong, VLong(0)},
      Fails(Variant::Null(), VarType::kLong, 94),
      Fails(Variant::Error(5), VarType::kLong, 13),
  });
}

TEST(ChangeType, TextToLong) {
  CheckRows({
      {Str(u"12"), VarType::kLong, VLong(12)},
      {Str(u" 12 "), VarType::kLong, VLong(12)},
      {Str(u"\t-12\r\n"), VarType::kLong, VLong(-12)},
      {Str(u"+7"), VarType::kLong, VLong(7)},
      {Str(u"7-"), VarType::kLong, VLong(-7)},
      {Str(u"(7)"), VarType::kLong, VLong(-7)},
      {Str(u"$7"), VarType::kLong, VLong(7)},
      {Str(u"1,000"), VarType::kLong, VLong(1000)},
      {Str(u"1,2"), VarType::kLong, VLong(12)},
      {Str(u"2.5"), VarType::kLong, VLong(2)},
      {Str(u"3.5"), VarType::kLong, VLong(4)},
      {Str(u"2.50000000000000000001"), VarType::kLong, VLong(3)},
      {Str(u"1e3"), VarType::kLong, VLong(1000)},
      {Str(u"1.5E+1"), VarType::kLong, VLong(15)},
      {Str(u"-2147483648"), VarType::kLong, VLong(INT32_MIN)},
      Fails(Str(u"2147483648"), VarType::kLong, 6),
      Fails(Str(u"99999999999999999999999"), VarType::kLong, 6),
      {Str(u"1e-1000000"), VarType::kLong, VLong(0)},
      {Str(u"0.5"), VarType::kLong, VLong(0)},
      {Str(u"0.51"), VarType::kLong, VLong(1)},
      {Str(u"-&HFF"), VarType::kLong, VLong(-255)},
      {Str(u"&HFFFF"), VarType::kLong, VLong(65535)},
      {Str(u"&hff"), VarType::kLong, VLong(255)},
      {Str(u"&HFFFFFFFF"), VarType::kLong, VLong(-1)},
      {Str(u"&HFFFFF060"), VarType::kLong, VLong(-4000)},
      {Str(u"&H0A1000043"), VarType::kLong, VLong(-1593835453)},
      Fails(Str(u"&H100000000"), VarType::kLong, 6),
      {Str(u"&O17"), VarType::kLong, VLong(15)},
      Fails(Str(u"&O8"), VarType::kLong, 13),
      Fails(Str(u"&H"), VarType::kLong, 13),
      Fails(Str(u"&HG"), VarType::kLong, 13),
      Fails(Str(u"abc"), VarType::kLong, 13),
      Fails(Str(u""), VarType::kLong, 13),
      Fails(Str(u" "), VarType::kLong, 13),
      Fails(Str(u"12abc"), VarType::kLong, 13),
      Fails(Str(u",12"), VarType::kLong, 13),
      Fails(Str(u"(12"), VarType::kLong, 13),
      Fails(Str(u"1e"), VarType::kLong, 13),
      Fails(Str(u"1.2.3"), VarType::kLong, 13),
      Fails(Str(u"--1"), VarType::kLong, 13),
      Fails(Variant(UString(u"12\0" u"3", 4)), VarType::kLong, 13),
  });
}

TEST(ChangeType, ToIntegerAndByte) {
  CheckRows({
      Fails(Dbl(32767.5), VarType::kInteger, 6),
      {Dbl(32766.5), VarType::kInteger, Variant::Integer(32766)},
      {Dbl(-32768.5), VarType::kInteger, Variant::Integer(-32768)},
      Fails(VLong(40000), VarType::kInteger, 6),
      {Str(u"&HFFFF"), VarType::kInteger, Variant::Integer(-1)},
      {Str(u"&H7FFF"), VarType::kInteger, Variant::Integer(32767)},
      Fails(Str(u"&H10000"), VarType::kInteger, 6),
      {VBool(true), VarType::kInteger, Variant::Integer(-1)},
      {VBool(true), VarType::kByte, Variant::Byte(255)},
      {Dbl(254.5), VarType::kByte, Variant::Byte(254)},
      Fails(Dbl(255.5), VarType::kByte, 6),
      {Dbl(-0.5), VarType::kByte, Variant::Byte(0)},
      Fails(Dbl(-0.6), VarType::kByte, 6),
      Fails(Variant::Integer(-1), VarType::kByte, 6),
      {Str(u"&HFF"), VarType::kByte, Variant::Byte(255)},
      Fails(Str(u"&H100"), VarType::kByte, 6),
      {Str(u" 200 "), VarType::kByte, Variant::Byte(200)},
  });
}

TEST(ChangeType, ToFloatingPoint) {
  CheckRows({
      {Str(u"1e5"), VarType::kDouble, Dbl(100000)},
      {Str(u" -1.5E-3 "), VarType::kDouble, Dbl(-0.0015)},
      {Str(u".5"), VarType::kDouble, Dbl(0.5)},
      {Str(u"5."), VarType::kDouble, Dbl(5)},
      {Str(u"0.1"), VarType::kDouble, Dbl(0.1)},
      {Str(u"000.000"), VarType::kDouble, Dbl(0)},
      {Str(u"1e-400"), VarType::kDouble, Dbl(0)},
      Fails(Str(u"1e400"), VarType::kDouble, 6),
      {Str(u"&HFFFF"), VarType::kDouble, Dbl(65535)},
      {Str(u"&HFFFFFFFF"), VarType::kDouble, Dbl(-1)},
      {Str(u"$1,234.5"), VarType::kDouble, Dbl(1234.5)},
      Fails(Str(u"$1e5"), VarType::kDouble, 13),
      Fails(Str(u"e5"), VarType::kDouble, 13),
      Fails(Str(u"."), VarType::kDouble, 13),
      Fails(Str(u"True"), VarType::kDouble, 13),
      {Cur(15000), VarType::kDouble, Dbl(1.5)},
      {Dec(25, 1, true), VarType::kDouble, Dbl(-2.5)},
      {Variant::FromDate({36925.5}), VarType::kDouble, Dbl(36925.5)},
      {VBool(true), VarType::kDouble, Dbl(-1)},
      {Variant(), VarType::kDouble, Dbl(0)},
      {Str(u"0.1"), VarType::kSingle, Variant::Single(0.1f)},
      Fails(Dbl(1e39), VarType::kSingle, 6),
      Fails(Str(u"1e39"), VarType::kSingle, 6),
  });
}

TEST(ChangeType, ToCurrencyAndDecimal) {
  CheckRows({
      {Str(u"1.5"), VarType::kCurrency, Cur(15000)},
      {Str(u"0.00005"), VarType::kCurrency, Cur(0)},
      {Str(u"0.00015"), VarType::kCurrency, Cur(2)},
      {Str(u"922337203685477.5807"), VarType::kCurrency, Cur(INT64_MAX)},
      {Str(u"-922337203685477.5808"), VarType::kCurrency, Cur(INT64_MIN)},
      Fails(Str(u"922337203685477.5808"), VarType::kCurrency, 6),
      {Dbl(1.23456), VarType::kCurrency, Cur(12346)},
      Fails(Dbl(1e16), VarType::kCurrency, 6),
      {VLong(-3), VarType::kCurrency, Cur(-30000)},
      {Dec(123456, 5), VarType::kCurrency, Cur(12346)},
      {Str(u"1.50"), VarType::kDecimal, Dec(15, 1)},
      {Dbl(0.1), VarType::kDecimal, Dec(1, 1)},
      {Variant::Single(0.1f), VarType::kDecimal, Dec(1, 1)},
      {Cur(-12345), VarType::kDecimal, Dec(12345, 4, true)},
      {VBool(true), VarType::kDecimal, Dec(1, 0, true)},
      {Str(u"79228162514264337593543950335"), VarType::kDecimal,
       Variant::FromDecimal({0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull, 0, false})},
      Fails(Str(u"79228162514264337593543950336"), VarType::kDecimal, 6),
      {Str(u"0.00000000000000000000000000001"), VarType::kDecimal, Dec(0, 0)},
      {Str(u"0.00000000000000000000000000015"), VarType::kDecimal, Dec(2, 28)},
      {Str(u"7.9228162514264337593543950335"), VarType::kDecimal,
       Variant::FromDecimal({0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull, 28, false})},
      Fails(Dbl(1e30), VarType::kDecimal, 6),
  });
}

TEST(ChangeType, ToBoolean) {
  CheckRows({
      {Str(u"True"), VarType::kBoolean, VBool(true)},
      {Str(u"false"), VarType::kBoolean, VBool(false)},
      {Str(u" TRUE "), VarType::kBoolean, VBool(true)},
      {Str(u"0"), VarType::kBoolean, VBool(false)},
      {Str(u"-1"), VarType::kBoolean, VBool(true)},
      {Str(u"0.5"), VarType::kBoolean, VBool(true)},
      Fails(Str(u"yes"), VarType::kBoolean, 13),
      Fails(Str(u""), VarType::kBoolean, 13),
      {Dbl(0.1), VarType::kBoolean, VBool(true)},
      {Cur(0), VarType::kBoolean, VBool(false)},
      {Dec(0, 3, true), VarType::kBoolean, VBool(false)},
      {Variant(), VarType::kBoolean, VBool(false)},
      Fails(Variant::Null(), VarType::kBoolean, 94),
  });
}

TEST(ChangeType, ToDate) {
  CheckRows({
      {VLong(36925), VarType::kDate, Variant::FromDate({36925})},
      {Str(u"2001-02-03"), VarType::kDate, Variant::FromDate({36925})},
      {Str(u"2/3/2001"), VarType::kDate, Variant::FromDate({36925})},
      {Str(u"February 3, 2001"), VarType::kDate, Variant::FromDate({36925})},
      {Str(u"3 Feb 2001"), VarType::kDate, Variant::FromDate({36925})},
      {Str(u"Saturday, February 03, 2001"), VarType::kDate, Variant::FromDate({36925})},
      {Str(u"13/2/2001"), VarType::kDate, Variant::FromDate({36935})},
      {Str(u"12 PM"), VarType::kDate, Variant::FromDate({0.5})},
      {Str(u"12:00 AM"), VarType::kDate, Variant::FromDate({0})},
      {Str(u"1/1/30"), VarType::kDate, Variant::FromDate({10959})},
      {Str(u"1/1/29"), VarType::kDate, Variant::FromDate({47119})},
      {Str(u"12/29/1899 6:00 AM"), VarType::kDate, Variant::FromDate({-1.25})},
      Fails(Str(u"2/30/2001"), VarType::kDate, 13),
      Fails(Str(u"25:00"), VarType::kDate, 13),
      Fails(Str(u"13:00 PM"), VarType::kDate, 13),
      Fails(Str(u"abc"), VarType::kDate, 13),
      Fails(Str(u"12"), VarType::kDate, 13),
      Fails(Dbl(3e6), VarType::kDate, 6),
      Fails(Dbl(-700000), VarType::kDate, 6),
      Fails(Variant::Null(), VarType::kDate, 94),
  });
  const Date d = ToDate(Str(u"2/3/2001 4:05:06 AM"));
  EXPECT_NEAR(d.days, 36925 + (4 * 3600 + 5 * 60 + 6) / 86400.0, 1e-9);
  EXPECT_EQ(ToText(Variant::FromDate(d)), u"2/3/2001 4:05:06 AM");
  EXPECT_NEAR(ToDate(Str(u"16:05")).days, (16 * 60 + 5) / 1440.0, 1e-9);
}

TEST(ChangeType, SpecialTargets) {
  Ref<Object> o = MakeRef<ValueObject>(VLong(1));
  CheckRows({
      {VLong(5), VarType::kVariant, VLong(5)},
      {Variant(), VarType::kObject, Variant::Nothing()},
      {Variant::Object(o), VarType::kObject, Variant::Object(o)},
      Fails(VLong(5), VarType::kObject, 13),
      Fails(Variant::Null(), VarType::kObject, 13),
      {Variant::Error(5), VarType::kError, Variant::Error(5)},
      Fails(VLong(5), VarType::kError, 13),
      {Variant(), VarType::kEmpty, Variant()},
      Fails(VLong(5), VarType::kEmpty, 13),
      {Variant::Null(), VarType::kNull, Variant::Null()},
      Fails(VLong(5), VarType::kNull, 13),
  });
}

TEST(ChangeType, Arrays) {
  const Variant strings = Variant::Array(SafeArray::Strings({u"a"}, 1));
  CheckRows({
      {strings, VarType::kArray | VarType::kString, strings},
      Fails(strings, VarType::kArray | VarType::kVariant, 13),
      Fails(strings, VarType::kLong, 13),
      Fails(VLong(1), VarType::kArray | VarType::kLong, 13),
      {Str(u"AB"), VarType::kArray | VarType::kByte,
       Variant::Array(SafeArray::Bytes(std::vector<std::uint8_t>{65, 0, 66, 0}))},
      {Str(u""), VarType::kArray | VarType::kByte, Variant::Array(SafeArray::Bytes({}))},
      {Variant::Array(SafeArray::Bytes(std::vector<std::uint8_t>{0x41, 0, 0xAC, 0x20, 0x42})),
       VarType::kString, Str(u"A\u20ACB")},
      {Variant::Array(SafeArray(VarType::kByte)), VarType::kString, Str(u"")},
  });
}

TEST(ToBytes, ByteArraysAndText) {
  EXPECT_EQ(ToBytes(Variant::Array(SafeArray::Bytes(std::vector<std::uint8_t>{1, 2}))),
            (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(ToBytes(Str(u"\u00E9")), (std::vector<std::uint8_t>{0xE9, 0}));
  EXPECT_TRUE(ToBytes(Variant::Array(SafeArray(VarType::kByte))).empty());
  EXPECT_RAISES(ToBytes(VLong(1)), 13);
  EXPECT_RAISES(ToBytes(Variant::Array(SafeArray::Strings({u"a"}))), 13);
}

TEST(Conversions, ObjectsConvertThroughTheirDefaultMember) {
  const Variant five = Variant::Object(MakeRef<ValueObject>(Str(u" 5 ")));
  EXPECT_EQ(ToLong(five), 5);
  EXPECT_EQ(ToText(five), u" 5 ");
  EXPECT_EQ(ChangeType(five, VarType::kDouble), Dbl(5));
  // A default member that gives another object is followed.
  const Variant chained =
      Variant::Object(MakeRef<ValueObject>(Variant::Object(MakeRef<ValueObject>(VLong(7)))));
  EXPECT_EQ(ToInteger(chained), 7);
  EXPECT_RAISES(ToLong(Variant::Nothing()), 91);
  EXPECT_RAISES(ToText(Variant::Object(MakeRef<NoDefault>())), 438);
  EXPECT_RAISES(ToLong(Variant::Object(MakeRef<ValueObject>(Variant::Null()))), 94);
  EXPECT_FALSE(IsNumeric(five));
}

TEST(Conversions, AnObjectThatIsItsOwnValueDoesNotLoop) {
  Ref<ValueObject> self = MakeRef<ValueObject>(Variant());
  self->value_ = Variant::Object(self);
  EXPECT_RAISES(ToLong(Variant::Object(self)), 13);
  self->value_ = Variant();  // break the cycle so the object ends
}

TEST(IsNumeric, FollowsTheNumberSyntax) {
  struct Case {
    Variant v;
    bool numeric;
  };
  const Case cases[] = {
      {Str(u" 12 "), true},     {Str(u"1e5"), true},      {Str(u""), false},
      {Variant(), true},        {Variant::Null(), false}, {VBool(true), true},
      {Str(u"True"), false},    {Str(u"&HFF"), true},     {Str(u"&H"), false},
      {Str(u"1,000"), true},    {Str(u",1"), false},      {Str(u"$5"), true},
      {Str(u"5$"), true},       {Str(u"(5)"), true},      {Str(u"(5"), false},
      {Str(u"1.2.3"), false},   {Str(u"-"), false},       {Str(u"."), false},
      {Str(u"1e400"), false},   {Str(u"12abc"), false},   {Str(u"1 2"), false},
      {Str(u"-.5e-2"), true},   {Str(u"&H123456789"), false},
      {Variant(UString(u"1\0", 2)), false},
      {Variant::FromDate({1}), false},                    {Variant::Nothing(), false},
      {Variant::Missing(), false},                        {Cur(1), true},
      {Dec(1, 0), true},        {Variant::Byte(1), true},
      {Variant::Array(SafeArray::Strings({u"1"})), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(IsNumeric(cases[i].v), cases[i].numeric);
  }
}

TEST(ParseNumber, GivesTheDoubleOrFalse) {
  double d = 99;
  EXPECT_TRUE(ParseNumber(u"1,2", &d));
  EXPECT_EQ(d, 12);
  EXPECT_TRUE(ParseNumber(u"&HFFFFFFFF", &d));
  EXPECT_EQ(d, -1);
  d = 99;
  EXPECT_FALSE(ParseNumber(u"x", &d));
  EXPECT_EQ(d, 99);
}

TEST(Format, NonFiniteValuesDoNotCrash) {
  EXPECT_EQ(FormatDouble(std::numeric_limits<double>::infinity()), u"1.#INF");
  EXPECT_EQ(FormatDouble(-std::numeric_limits<double>::infinity()), u"-1.#INF");
  EXPECT_FALSE(FormatDouble(std::numeric_limits<double>::quiet_NaN()).empty());
  EXPECT_RAISES(FormatDate({std::numeric_limits<double>::quiet_NaN()}), 5);
}

}  // namespace
}  // namespace keystrel
