#include "frame/safe_array.h"

#include <gtest/gtest.h>

#include "frame/error.h"

namespace keystrel {
namespace {

#define EXPECT_RAISES(stmt, expected)                                   \
  do {                                                                \
    try {                                                             \
      stmt;                                                           \
      ADD_FAILURE() << #stmt " raised nothing";                       \
    } catch (const AutomationError& e) {                              \
      EXPECT_EQ(e.number(), expected) << #stmt ": " << e.what();        \
    }                                                                 \
  } while (0)

class Plain : public Object {};

TEST(SafeArray, WithoutStorageBoundsAreSubscriptOutOfRange) {
  SafeArray a(VarType::kString);
  EXPECT_FALSE(a.has_storage());
  EXPECT_EQ(a.size(), 0);
  EXPECT_RAISES(a.LBound(), 9);
  EXPECT_RAISES(a.UBound(), 9);
  EXPECT_RAISES(a.Get(0), 9);
  EXPECT_RAISES(a.Set(0, u"x"), 9);
}

TEST(SafeArray, EmptyButDimensionedHasBoundsZeroToMinusOne) {
  const SafeArray a = SafeArray::Bytes({});
  EXPECT_TRUE(a.has_storage());
  EXPECT_EQ(a.LBound(), 0);
  EXPECT_EQ(a.UBound(), -1);
  EXPECT_RAISES(a.Get(0), 9);
}

TEST(SafeArray, ElementsStartAtTheirTypesZero) {
  struct Row {
    VarType element;
    Variant zero;
  };
  const Row rows[] = {
      {VarType::kByte, Variant::Byte(0)},
      {VarType::kInteger, Variant::Integer(0)},
      {VarType::kLong, VLong(0)},
      {VarType::kSingle, Variant::Single(0)},
      {VarType::kDouble, Variant::Double(0)},
      {VarType::kCurrency, Variant::FromCurrency({})},
      {VarType::kDate, Variant::FromDate({})},
      {VarType::kBoolean, VBool(false)},
      {VarType::kString, Variant(u"")},
      {VarType::kVariant, Variant()},
      {VarType::kObject, Variant::Nothing()},
      {VarType::kDecimal, Variant::FromDecimal({})},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.element));
    const SafeArray a(r.element, -2, 3);
    EXPECT_EQ(a.element_type(), r.element);
    EXPECT_EQ(a.LBound(), -2);
    EXPECT_EQ(a.UBound(), 0);
    EXPECT_EQ(a.Get(-1), r.zero);
    EXPECT_EQ(a.Get(-1).type(), r.zero.type());
  }
}

TEST(SafeArray, ElementTypesWithoutArraysAreRefused) {
  EXPECT_RAISES(SafeArray(VarType::kNull), 5);
  EXPECT_RAISES(SafeArray(VarType::kEmpty, 0, 1), 5);
  EXPECT_RAISES(SafeArray(VarType::kArray | VarType::kByte), 5);
}

TEST(SafeArray, IndexesOutsideTheBoundsFail) {
  SafeArray a(VarType::kLong, 1, 3);
  EXPECT_RAISES(a.Get(0), 9);
  EXPECT_RAISES(a.Get(4), 9);
  EXPECT_RAISES(a.Set(4, VLong(1)), 9);
  EXPECT_RAISES(a.Get(INT32_MIN), 9);
  EXPECT_RAISES(a.Get(INT32_MAX), 9);
  a.Set(3, VLong(5));
  EXPECT_EQ(a.Get(3), VLong(5));
}

TEST(SafeArray, WritesAreCoercedToTheElementType) {
  SafeArray longs(VarType::kLong, 0, 1);
  longs.Set(0, u" 12 ");
  EXPECT_EQ(longs.Get(0), VLong(12));
  longs.Set(0, Variant::Double(2.5));
  EXPECT_EQ(longs.Get(0), VLong(2));

  SafeArray ints(VarType::kInteger, 0, 1);
  ints.Set(0, Variant::Integer(3));
  // A failed write leaves the element as it was.
  EXPECT_RAISES(ints.Set(0, VLong(70000)), 6);
  EXPECT_RAISES(ints.Set(0, u"abc"), 13);
  EXPECT_RAISES(ints.Set(0, Variant::Null()), 94);
  EXPECT_EQ(ints.Get(0), Variant::Integer(3));

  SafeArray strings(VarType::kString, 0, 1);
  strings.Set(0, VLong(-5));
  EXPECT_EQ(strings.Get(0), Variant(u"-5"));
  strings.Set(0, VBool(true));
  EXPECT_EQ(strings.Get(0), Variant(u"True"));

  SafeArray bools(VarType::kBoolean, 0, 1);
  bools.Set(0, u"true");
  EXPECT_EQ(bools.Get(0), VBool(true));

  SafeArray objects(VarType::kObject, 0, 1);
  EXPECT_RAISES(objects.Set(0, VLong(1)), 13);
  Ref<Object> o = MakeRef<Plain>();
  objects.Set(0, Variant::Object(o));
  EXPECT_EQ(objects.Get(0).object().get(), o.get());
}

TEST(SafeArray, VariantElementsKeepTheirSubtypeAndCopyArrays) {
  SafeArray a(VarType::kVariant, 0, 2);
  a.Set(0, Variant::Integer(4));
  EXPECT_EQ(a.Get(0), Variant::Integer(4));
  Variant inner = Variant::Array(SafeArray::Strings({u"x"}));
  a.Set(1, inner);
  inner.array().strings()[0] = u"y";
  EXPECT_EQ(a.Get(1).array().Get(0), Variant(u"x"));
}

TEST(SafeArray, RedimPreserveKeepsElementsByIndex) {
  SafeArray a = SafeArray::Strings({u"a", u"b", u"c"});  // 0..2
  a.Redim(0, 5, true);
  EXPECT_EQ(a.UBound(), 4);
  EXPECT_EQ(a.Get(2), Variant(u"c"));
  EXPECT_EQ(a.Get(4), Variant(u""));
  a.Redim(0, 2, true);
  EXPECT_EQ(a.strings(), (std::vector<UString>{u"a", u"b"}));
  a.Redim(1, 3, true);  // 1..3: only index 1 was inside the old bounds
  EXPECT_EQ(a.strings(), (std::vector<UString>{u"b", u"", u""}));
  a.Redim(0, 2, false);
  EXPECT_EQ(a.strings(), (std::vector<UString>{u"", u""}));
}

TEST(SafeArray, RedimOfAnArrayWithoutStorageDimensionsIt) {
  SafeArray a(VarType::kDouble);
  a.Redim(5, 2, true);
  EXPECT_EQ(a.LBound(), 5);
  EXPECT_EQ(a.UBound(), 6);
  EXPECT_EQ(a.Get(6), Variant::Double(0));
}

TEST(SafeArray, ImpossibleBoundsAreSubscriptOutOfRange) {
  SafeArray a = SafeArray::Strings({u"keep"});
  EXPECT_RAISES(a.Redim(0, -1, false), 9);
  EXPECT_RAISES(a.Redim(INT32_MAX, 2, false), 9);
  EXPECT_RAISES(SafeArray(VarType::kLong, 0, -1), 9);
  EXPECT_EQ(a.Get(0), Variant(u"keep"));
  SafeArray top(VarType::kByte, INT32_MAX, 1);
  EXPECT_EQ(top.UBound(), INT32_MAX);
}

TEST(SafeArray, EraseDropsTheStorage) {
  SafeArray a = SafeArray::Strings({u"a"}, 1);
  a.Erase();
  EXPECT_FALSE(a.has_storage());
  EXPECT_EQ(a.size(), 0);
  EXPECT_RAISES(a.UBound(), 9);
  EXPECT_EQ(a.element_type(), VarType::kString);
}

TEST(SafeArray, FactoriesAndViews) {
  const std::uint8_t raw[] = {1, 2, 255};
  SafeArray b = SafeArray::Bytes(raw);
  EXPECT_EQ(b.bytes(), (std::vector<std::uint8_t>{1, 2, 255}));
  EXPECT_EQ(b.Get(2), Variant::Byte(255));
  EXPECT_RAISES(b.strings(), 13);
  EXPECT_RAISES(b.variants(), 13);

  const SafeArray s = SafeArray::Strings({u"x", u"y"}, 1);
  EXPECT_EQ(s.LBound(), 1);
  EXPECT_EQ(s.UBound(), 2);
  EXPECT_EQ(s.Get(2), Variant(u"y"));
  EXPECT_RAISES(s.bytes(), 13);

  const SafeArray v = SafeArray::Variants({VLong(1), u"two"});
  EXPECT_EQ(v.LBound(), 0);
  EXPECT_EQ(v.Get(1), Variant(u"two"));
}

TEST(SafeArray, WritingThroughAViewGivesStorage) {
  SafeArray a(VarType::kByte);
  a.bytes().push_back(9);
  EXPECT_TRUE(a.has_storage());
  EXPECT_EQ(a.UBound(), 0);
  EXPECT_EQ(a.Get(0), Variant::Byte(9));
}

TEST(SafeArray, Equality) {
  EXPECT_EQ(SafeArray(VarType::kLong), SafeArray(VarType::kLong));
  EXPECT_NE(SafeArray(VarType::kLong), SafeArray(VarType::kLong, 0, 0));
  EXPECT_NE(SafeArray(VarType::kLong), SafeArray(VarType::kInteger));
  EXPECT_EQ(SafeArray(VarType::kDouble, 1, 2), SafeArray(VarType::kDouble, 1, 2));
  EXPECT_NE(SafeArray(VarType::kDouble, 1, 2), SafeArray(VarType::kDouble, 0, 2));
  SafeArray d(VarType::kDouble, 0, 1);
  d.Set(0, Variant::Double(-0.0));
  EXPECT_EQ(d, SafeArray(VarType::kDouble, 0, 1));
}

}  // namespace
}  // namespace keystrel
