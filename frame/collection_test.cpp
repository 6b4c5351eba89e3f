#include "frame/collection.h"

#include <gtest/gtest.h>

#include "frame/catalogue.h"
#include "frame/error.h"
#include "frame/host.h"
#include "frame/safe_array.h"

namespace keystrel {
namespace {

int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

std::vector<Variant> Items(Collection& c) { return ForEachItems(c); }

TEST(CollectionTest, KeysAreCaseInsensitiveAndUnique) {
  Ref<Collection> c = Collection::Create();
  c->Add(Variant(u"run"), Variant(u"Run"));
  c->Add(Variant(u"empty key"), Variant(u""));
  c->Add(Variant(u"no key"));
  EXPECT_EQ(c->Item(Variant(u"RUN")), Variant(u"run"));
  EXPECT_EQ(c->Item(Variant(u"")), Variant(u"empty key"));
  EXPECT_EQ(c->FindKey(u"rUn"), 1);
  EXPECT_EQ(c->FindKey(u"none"), std::nullopt);

  try {
    c->Add(Variant(u"again"), Variant(u"RUN"));
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), rt::kDuplicateKey);
    EXPECT_EQ(e.description(), u"This key is already associated with an element of this collection");
  }
  EXPECT_EQ(c->Count(), 3);
  // Keys are text: a number as a key is a type mismatch, not a position.
  EXPECT_EQ(ErrorOf([&] { c->Add(VLong(1), VLong(1)); }), rt::kTypeMismatch);
  EXPECT_EQ(c->Count(), 3);
}

TEST(CollectionTest, IndexRules) {
  Ref<Collection> c = Collection::Create();
  c->Add(Variant(u"a"), Variant(u"ka"));
  c->Add(Variant(u"b"), Variant(u"2"));
  c->Add(Variant(u"c"));
  struct Case {
    Variant index;
    int error;
    Variant item;
  } cases[] = {
      {VLong(1), 0, Variant(u"a")},
      {Variant::Double(2.5), 0, Variant(u"b")},   // rounded as CLng: 2
      {Variant::Double(3.4), 0, Variant(u"c")},
      {Variant(u"2"), 0, Variant(u"b")},          // text is always a key
      {Variant::Integer(3), 0, Variant(u"c")},
      {VLong(0), rt::kSubscriptOutOfRange, {}},
      {VLong(4), rt::kSubscriptOutOfRange, {}},
      {VBool(true), rt::kSubscriptOutOfRange, {}},  // -1
      {Variant(u"3"), rt::kInvalidProcedureCall, {}},
      {Variant(u"kb"), rt::kInvalidProcedureCall, {}},
      {Variant::Null(), rt::kInvalidUseOfNull, {}},
      {Variant::Double(1e20), rt::kOverflow, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&k - cases));
    if (k.error) {
      EXPECT_EQ(ErrorOf([&] { c->Item(k.index); }), k.error);
      EXPECT_EQ(ErrorOf([&] { c->Remove(k.index); }), k.error);
    } else {
      EXPECT_EQ(c->Item(k.index), k.item);
    }
  }
  EXPECT_EQ(c->Count(), 3);
  EXPECT_EQ(ErrorOf([&] { c->at(4); }), rt::kSubscriptOutOfRange);
}

TEST(CollectionTest, RemoveKeepsKeysAndPositionsInStep) {
  Ref<Collection> c = Collection::Create();
  for (const char16_t* k : {u"a", u"b", u"c", u"d"}) c->Add(Variant(UString(k) + u"!"), Variant(k));
  c->Remove(Variant(u"B"));
  c->Remove(VLong(1));
  EXPECT_EQ(Items(*c), (std::vector<Variant>{Variant(u"c!"), Variant(u"d!")}));
  EXPECT_EQ(c->FindKey(u"d"), 2);
  EXPECT_EQ(ErrorOf([&] { c->Item(Variant(u"a")); }), rt::kInvalidProcedureCall);
  // A removed key can be used again.
  c->Add(Variant(u"b again"), Variant(u"b"));
  EXPECT_EQ(c->Item(Variant(u"b")), Variant(u"b again"));
  EXPECT_EQ(c->FindKey(u"b"), 3);
}

TEST(CollectionTest, BeforeAndAfterPositions) {
  Ref<Collection> c = Collection::Create();
  c->Add(Variant(u"x"), Variant(u"x"));
  c->Add(Variant(u"first"), Variant(u"f"), VLong(1));
  c->Add(Variant(u"last"), Variant::Missing(), Variant::Missing(), VLong(2));
  c->Add(Variant(u"mid"), Variant(u"m"), Variant(u"X"));
  EXPECT_EQ(Items(*c), (std::vector<Variant>{Variant(u"first"), Variant(u"mid"), Variant(u"x"),
                                             Variant(u"last")}));
  EXPECT_EQ(c->Item(Variant(u"x")), Variant(u"x"));
  EXPECT_EQ(c->FindKey(u"x"), 3);
  EXPECT_EQ(ErrorOf([&] { c->Add(Variant(u"?"), Variant::Missing(), VLong(1), VLong(1)); }),
            rt::kInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { c->Add(Variant(u"?"), Variant::Missing(), VLong(9)); }),
            rt::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { c->Add(Variant(u"?"), Variant(u"new"), Variant(u"zz")); }),
            rt::kInvalidProcedureCall);
  EXPECT_EQ(c->Count(), 4);
  EXPECT_EQ(c->FindKey(u"new"), std::nullopt);
}

TEST(CollectionTest, ArrayItemsAreCopiesAndObjectsAreShared) {
  Ref<Collection> c = Collection::Create();
  Variant arr = Variant::Array(SafeArray::Strings({u"a"}));
  Ref<Collection> inner = Collection::Create();
  c->Add(arr);
  c->Add(Variant::Object(inner));
  arr.array().Set(0, Variant(u"changed"));
  inner->Add(VLong(1));
  EXPECT_EQ(c->at(1).array().Get(0), Variant(u"a"));
  EXPECT_EQ(static_cast<Collection*>(c->at(2).object().get())->Count(), 1);
}

TEST(CollectionTest, LateBoundSurface) {
  Ref<Collection> c = Collection::Create();
  const ClassInfo* cls = c->class_info();
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(cls->name, u"Collection");
  EXPECT_EQ(cls->instancing, Instancing::kRuntime);
  EXPECT_EQ(c->IdOfName(u"item"), kDispidValue);
  EXPECT_EQ(c->IdOfName(u"_NewEnum"), kDispidNewEnum);

  CallByName(*c, u"Add", {Variant(u"one"), Variant(u"k")});
  std::vector<Arg> add{Arg::ByVal(Variant(u"two")), Arg::Omitted(), Arg::Omitted(),
                       Arg::ByVal(VLong(1))};
  InvokeByName(*c, u"Add", add);
  EXPECT_EQ(CallByName(*c, u"Count"), VLong(2));
  EXPECT_EQ(ErrorOf([&] { DefaultValue(*c); }), rt::kWrongArgumentCount);  // Item needs an index
  EXPECT_EQ(CallByName(*c, u"Item", {VLong(2)}), Variant(u"two"));
  std::vector<Arg> by_key{Arg::ByVal(Variant(u"K"))};
  EXPECT_EQ(c->Invoke(kDispidValue, kMethod | kPropertyGet, by_key), Variant(u"one"));
  EXPECT_EQ(ForEachItems(*c), (std::vector<Variant>{Variant(u"one"), Variant(u"two")}));
  CallByName(*c, u"Remove", {Variant(u"k")});
  EXPECT_EQ(CallByName(*c, u"Count"), VLong(1));
}

TEST(CollectionTest, EnumerationIsASnapshot) {
  Ref<Collection> c = Collection::Create();
  c->Add(VLong(1));
  c->Add(VLong(2));
  Ref<Enumerator> e = c->NewEnum();
  c->Remove(VLong(1));
  c->Add(VLong(3));
  Variant v;
  std::vector<Variant> seen;
  while (e->Next(v)) seen.push_back(v);
  EXPECT_EQ(seen, (std::vector<Variant>{VLong(1), VLong(2)}));
}

}  // namespace
}  // namespace keystrel
