#include "frame/variant.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/safe_array.h"

namespace keystrel {
namespace {

// Asserts that `stmt` raises the automation error `number`.
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

TEST(Variant, NamedConstructorsGiveTheirSubtype) {
  struct Row {
    Variant v;
    VarType type;
    const char16_t* name;
  };
  const Row rows[] = {
      {Variant(), VarType::kEmpty, u"Empty"},
      {Variant::Null(), VarType::kNull, u"Null"},
      {Variant::Missing(), VarType::kError, u"Error"},
      {Variant::Boolean(true), VarType::kBoolean, u"Boolean"},
      {Variant::Byte(1), VarType::kByte, u"Byte"},
      {Variant::Integer(1), VarType::kInteger, u"Integer"},
      {Variant::Long(1), VarType::kLong, u"Long"},
      {Variant::Single(1), VarType::kSingle, u"Single"},
      {Variant::Double(1), VarType::kDouble, u"Double"},
      {Variant::FromCurrency({10000}), VarType::kCurrency, u"Currency"},
      {Variant::FromDate({1}), VarType::kDate, u"Date"},
      {Variant::FromDecimal({}), VarType::kDecimal, u"Decimal"},
      {Variant(u"x"), VarType::kString, u"String"},
      {Variant::Nothing(), VarType::kObject, u"Object"},
      {Variant::Array(SafeArray::Bytes({})), VarType::kArray | VarType::kByte, u"Byte()"},
      {Variant::Array(SafeArray::Strings({u"a"})), VarType::kArray | VarType::kString,
       u"String()"},
      {Variant::Array(SafeArray::Variants({})), VarType::kArray | VarType::kVariant,
       u"Variant()"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.type));
    EXPECT_EQ(r.v.type(), r.type);
    EXPECT_EQ(TypeNameOf(r.v.type()), r.name);
  }
}

TEST(Variant, EmptyNullAndMissingAreDistinct) {
  const Variant empty, null = Variant::Null(), missing = Variant::Missing();
  EXPECT_TRUE(empty.is_empty());
  EXPECT_TRUE(null.is_null());
  EXPECT_TRUE(missing.is_missing());
  EXPECT_EQ(missing.error_value(), -2147352572);
  EXPECT_FALSE(empty == null);
  EXPECT_FALSE(empty == missing);
  EXPECT_FALSE(null == missing);
  EXPECT_FALSE(Variant::Error(5).is_missing());
}

TEST(Variant, StrictAccessorsRaiseTypeMismatch) {
  const Variant l = VLong(7);
  EXPECT_EQ(l.long_value(), 7);
  EXPECT_RAISES(l.integer_value(), 13);
  EXPECT_RAISES(l.double_value(), 13);
  EXPECT_RAISES(l.string(), 13);
  EXPECT_RAISES(l.array(), 13);
  EXPECT_RAISES(l.object(), 13);
  EXPECT_RAISES(Variant(u"7").long_value(), 13);
  EXPECT_RAISES(Variant().bool_value(), 13);
  EXPECT_RAISES(Variant::Integer(1).byte_value(), 13);
}

TEST(Variant, NumberTestCoversTheNumericSubtypes) {
  EXPECT_TRUE(Variant::Byte(0).is_number());
  EXPECT_TRUE(Variant::FromCurrency({}).is_number());
  EXPECT_TRUE(Variant::FromDecimal({}).is_number());
  EXPECT_FALSE(Variant::FromDate({}).is_number());
  EXPECT_FALSE(Variant::Boolean(true).is_number());
  EXPECT_FALSE(Variant(u"1").is_number());
}

TEST(Variant, StringsKeepNuls) {
  const Variant v(UString(u"a\0b", 3));
  EXPECT_EQ(v.string().size(), 3u);
}

TEST(Variant, TakeStringMovesWithoutCopy) {
  Variant v(UString(1000, u'x'));
  const char16_t* data = v.string().data();
  UString s = v.TakeString();
  EXPECT_EQ(s.data(), data);
  EXPECT_TRUE(v.is_empty());
}

TEST(Variant, TakeArrayMovesWithoutCopy) {
  const std::vector<std::uint8_t> bytes(100, 7);
  Variant v = Variant::Array(SafeArray::Bytes(bytes));
  const std::uint8_t* data = v.array().bytes().data();
  SafeArray a = v.TakeArray();
  EXPECT_EQ(a.bytes().data(), data);
  EXPECT_TRUE(v.is_empty());
}

TEST(Variant, CopyingCopiesArraysDeeply) {
  Variant a = Variant::Array(SafeArray::Strings({u"one", u"two"}));
  Variant b = a;
  b.array().Set(0, u"changed");
  EXPECT_EQ(a.array().Get(0), Variant(u"one"));
  EXPECT_EQ(b.array().Get(0), Variant(u"changed"));

  Variant c;
  c = b;
  c.array().strings()[1] = u"again";
  EXPECT_EQ(b.array().Get(1), Variant(u"two"));
}

TEST(Variant, NestedArraysCopyDeeply) {
  std::vector<Variant> inner{Variant::Array(SafeArray::Strings({u"x"}))};
  const Variant a = Variant::Array(SafeArray::Variants(std::move(inner)));
  Variant b = a;
  b.array().variants()[0].array().strings()[0] = u"y";
  EXPECT_EQ(a.array().variants()[0].array().strings()[0], u"x");
}

TEST(Variant, MovedFromArrayVariantStaysUsable) {
  Variant a = Variant::Array(SafeArray::Strings({u"x"}));
  Variant b = std::move(a);
  EXPECT_EQ(b.array().Get(0), Variant(u"x"));
  // A moved-from variant is only required to be valid: reading it must not crash.
  if (a.is_array()) {
    EXPECT_FALSE(a.array().has_storage());
    Variant copy = a;
    EXPECT_TRUE(copy == a);
  }
}

TEST(Variant, ObjectsHoldAReference) {
  Ref<Object> o = MakeRef<Plain>();
  {
    const Variant v = Variant::Object(o);
    EXPECT_EQ(o->ref_count(), 2u);
    Variant w = v;
    EXPECT_EQ(o->ref_count(), 3u);
    EXPECT_EQ(w.object().get(), o.get());
  }
  EXPECT_EQ(o->ref_count(), 1u);
  EXPECT_FALSE(Variant::Nothing().object());
}

TEST(Variant, EqualityIsSubtypeAndValue) {
  Ref<Object> o1 = MakeRef<Plain>(), o2 = MakeRef<Plain>();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    Variant a, b;
    bool equal;
  };
  const Row rows[] = {
      {VLong(1), VLong(1), true},
      {VLong(1), Variant::Integer(1), false},
      {VLong(1), Variant::Double(1), false},
      {Variant::Double(0.0), Variant::Double(-0.0), true},
      {Variant::Double(nan), Variant::Double(nan), true},
      {Variant::Single(0.0f), Variant::Single(-0.0f), true},
      {Variant(u"a"), Variant(u"A"), false},
      {Variant(u"a"), Variant(u"a"), true},
      {Variant::Boolean(true), Variant::Boolean(true), true},
      {Variant::Boolean(true), VLong(-1), false},
      {Variant::Object(o1), Variant::Object(o1), true},
      {Variant::Object(o1), Variant::Object(o2), false},
      {Variant::Nothing(), Variant::Nothing(), true},
      {Variant::FromDecimal({0, 10, 1, false}), Variant::FromDecimal({0, 1, 0, false}), true},
      {Variant::FromDecimal({0, 0, 0, true}), Variant::FromDecimal({0, 0, 3, false}), true},
      {Variant::FromDecimal({0, 1, 0, true}), Variant::FromDecimal({0, 1, 0, false}), false},
      {Variant::Array(SafeArray::Strings({u"a"})), Variant::Array(SafeArray::Strings({u"a"})),
       true},
      {Variant::Array(SafeArray::Strings({u"a"})),
       Variant::Array(SafeArray::Strings({u"a"}, 1)), false},
      {Variant::Array(SafeArray::Strings({u"a"})), Variant::Array(SafeArray::Variants({u"a"})),
       false},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].a == rows[i].b, rows[i].equal);
    EXPECT_EQ(rows[i].b == rows[i].a, rows[i].equal);
  }
}

TEST(Variant, DecimalScaleBeyond28IsOverflow) {
  EXPECT_RAISES(Variant::FromDecimal({0, 1, 29, false}), 6);
}

TEST(TypeNameOf, ArraysOfEachElementType) {
  EXPECT_EQ(TypeNameOf(VarType::kArray | VarType::kLong), u"Long()");
  EXPECT_EQ(TypeNameOf(VarType::kArray | VarType::kObject), u"Object()");
  EXPECT_EQ(TypeNameOf(VarType::kVariant), u"Variant");
  EXPECT_EQ(TypeNameOf(static_cast<VarType>(99)), u"Unknown");
}

}  // namespace
}  // namespace keystrel
