#include "frame/dispatch.h"

#include <gtest/gtest.h>

#include <functional>

#include "frame/catalogue.h"
#include "frame/collection.h"
#include "frame/error.h"
#include "frame/host.h"
#include "frame/safe_array.h"

namespace keystrel {
namespace {

constexpr char16_t kProbeClass[] = u"clsTestDispatchProbe";

// A small class with one member per binding rule worth checking.
class Probe : public Object {
 public:
  const ClassInfo* class_info() const noexcept override {
    return Catalogue::Instance().FindClass(kProbeClass);
  }
  UString name_ = u"probe";
  Ref<Object> target_;
  Ref<Collection> items_ = Collection::Create();
  int calls_ = 0;
};

Probe& P(Object& o) { return static_cast<Probe&>(o); }

ParamInfo Param(UString name, VarType type, bool by_ref = false, bool optional = false,
                std::optional<Variant> def = std::nullopt) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.by_ref = by_ref;
  p.optional = optional;
  p.default_value = std::move(def);
  return p;
}

MemberInfo ProbeMember(UString name, MemberKind kind, std::vector<ParamInfo> params,
                       VarType result, MemberFn fn, std::int32_t dispid = kAutoDispid) {
  MemberInfo m = Member(std::move(name), kind, std::move(params), result, std::move(fn));
  m.dispid = dispid;
  return m;
}

void RegisterProbe() {
  using K = MemberKind;
  using T = VarType;
  ClassInfo cls;
  cls.name = kProbeClass;
  cls.instancing = Instancing::kCreatable;
  cls.factory = [] { return Ref<Object>(MakeRef<Probe>()); };
  cls.members = {
      ProbeMember(u"Name", K::kPropertyGet, {}, T::kString,
             [](Object& s, CallFrame&) { return Variant::String(P(s).name_); }),
      ProbeMember(u"Name", K::kPropertyLet, {Param(u"sName", T::kString)}, T::kEmpty,
             [](Object& s, CallFrame& f) {
               P(s).name_ = f.String(0);
               return Variant();
             }),
      ProbeMember(u"Target", K::kPropertyGet, {}, T::kObject,
             [](Object& s, CallFrame&) { return Variant::Object(P(s).target_); }),
      ProbeMember(u"Target", K::kPropertySet, {Param(u"oTarget", T::kObject)}, T::kEmpty,
             [](Object& s, CallFrame& f) {
               P(s).target_ = f.Obj(0);
               return Variant();
             }),
      ProbeMember(u"Sum", K::kMethod, {Param(u"lA", T::kLong), Param(u"iB", T::kInteger)}, T::kLong,
             [](Object&, CallFrame& f) { return Variant::Long(f.Long(0) + f.Integer(1)); }),
      ProbeMember(u"Touch", K::kMethod, {Param(u"v", T::kVariant, true)}, T::kEmpty,
             [](Object&, CallFrame& f) {
               f[0] = Variant(u"touched");
               return Variant();
             }),
      ProbeMember(u"Bump", K::kMethod, {Param(u"lN", T::kLong, true), Param(u"fFail", T::kBoolean,
                                                                     false, true)},
             T::kEmpty,
             [](Object&, CallFrame& f) {
               f[0] = Variant::Long(f.Long(0) + 1);
               if (f.Bool(1)) RaiseError(rt::kInvalidProcedureCall);
               return Variant();
             }),
      ProbeMember(u"Opt", K::kMethod,
             {Param(u"v", T::kVariant, false, true), Param(u"s", T::kString, false, true, u"dflt"),
              Param(u"l", T::kLong, false, true)},
             T::kString,
             [](Object&, CallFrame& f) {
               UString out = f[0].is_missing() ? u"missing" : u"given";
               out += u"|" + f.String(1) + u"|" + (f.Long(2) == 0 ? u"0" : u"n");
               out += f.omitted(1) ? u"|o" : u"|g";
               return Variant::String(out);
             }),
      ProbeMember(u"Need", K::kMethod, {Param(u"v", T::kVariant), Param(u"l", T::kLong)}, T::kLong,
             [](Object&, CallFrame& f) { return Variant::Long(f.Long(1)); }),
      ProbeMember(u"IsNothing", K::kMethod, {Param(u"o", T::kObject)}, T::kBoolean,
             [](Object&, CallFrame& f) { return Variant::Boolean(!f.Obj(0)); }),
      ProbeMember(u"Stamp", K::kMethod, {Param(u"a", T::kArray | T::kString, true)}, T::kLong,
             [](Object&, CallFrame& f) {
               SafeArray& a = f[0].array();
               a.Set(a.LBound(), Variant(u"stamped"));
               return Variant::Long(a.size());
             }),
      ProbeMember(u"Items", K::kPropertyGet, {}, T::kObject,
             [](Object& s, CallFrame&) {
               return Variant::Object(Ref<Object>(P(s).items_));
             }),
      ProbeMember(u"List", K::kPropertyGet, {}, T::kVariant,
             [](Object&, CallFrame&) {
               return Variant::Array(SafeArray::Strings({u"a", u"b"}));
             }),
      ProbeMember(u"Count", K::kPropertyGet, {}, T::kLong,
             [](Object& s, CallFrame&) { return Variant::Long(++P(s).calls_); }),
      ProbeMember(u"Log", K::kMethod, {}, T::kEmpty,
             [](Object& s, CallFrame&) {
               ++P(s).calls_;
               return Variant();
             }),
      ProbeMember(u"Value", K::kPropertyGet, {}, T::kString,
             [](Object& s, CallFrame&) { return Variant::String(u"value of " + P(s).name_); },
             kDispidValue),
      ProbeMember(u"NewEnum", K::kMethod, {}, T::kObject,
             [](Object&, CallFrame&) {
               return Variant::Object(Ref<Object>(
                   MakeSnapshotEnumerator({VLong(1), Variant(u"two"), Variant::Null()})));
             },
             kDispidNewEnum),
  };
  Catalogue::Instance().AddClass(std::move(cls));
}

class DispatchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterFrameClasses();
    RegisterProbe();
  }
  void TearDown() override { ResetThreadState(); }

  Variant Call(UStringView name, std::vector<Arg> args,
               std::uint16_t kind = kMethod | kPropertyGet) {
    return InvokeByName(*probe_, name, args, kind);
  }
  // The error number a call raises, 0 when it succeeds.
  int ErrorOf(UStringView name, std::vector<Arg> args,
              std::uint16_t kind = kMethod | kPropertyGet) {
    try {
      Call(name, std::move(args), kind);
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  }

  Ref<Object> probe_ = CreateObjectByClass(kProbeClass);
};

TEST_F(DispatchTest, DispidsFollowSlotsAndArePerProperty) {
  const ClassInfo* cls = Catalogue::Instance().FindClass(kProbeClass);
  ASSERT_NE(cls, nullptr);
  // Get and let of Name share the identifier of the first slot.
  EXPECT_EQ(cls->IdOfName(u"name"), 0x60030000);
  EXPECT_EQ(cls->members[1].dispid, 0x60030000);
  EXPECT_EQ(cls->IdOfName(u"TARGET"), 0x60030002);
  EXPECT_EQ(cls->IdOfName(u"Value"), kDispidValue);
  EXPECT_EQ(cls->IdOfName(u"NewEnum"), kDispidNewEnum);
  EXPECT_EQ(cls->IdOfName(u"Nope"), kDispidUnknown);
  EXPECT_EQ(cls->progid(), u"Keystrel10.clsTestDispatchProbe");
  ASSERT_NE(cls->FindMember(0x60030000, MemberKind::kPropertyLet), nullptr);
  EXPECT_EQ(cls->FindMember(0x60030000, MemberKind::kPropertySet), nullptr);
}

TEST_F(DispatchTest, ByValueArgumentsAreCoerced) {
  struct Case {
    Variant a, b;
    int error;
    std::int32_t sum;
  } cases[] = {
      {VLong(1), Variant::Integer(2), 0, 3},
      {Variant(u"12"), Variant(u" 3 "), 0, 15},
      {Variant::Double(1.5), Variant::Double(2.5), 0, 4},  // 2 + 2: half to even
      {Variant(), Variant::Boolean(true), 0, -1},
      {Variant(u"abc"), VLong(1), rt::kTypeMismatch, 0},
      {VLong(1), VLong(40000), rt::kOverflow, 0},
      {Variant::Null(), VLong(1), rt::kInvalidUseOfNull, 0},
      {Variant::Array(SafeArray::Bytes({})), VLong(1), rt::kTypeMismatch, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    std::vector<Arg> args{Arg::ByVal(c.a), Arg::ByVal(c.b)};
    if (c.error) {
      EXPECT_EQ(ErrorOf(u"Sum", std::move(args)), c.error);
    } else {
      EXPECT_EQ(Call(u"Sum", std::move(args)), VLong(c.sum));
    }
  }
}

TEST_F(DispatchTest, UnknownMembersWrongCountsAndMissingArguments) {
  EXPECT_EQ(ErrorOf(u"Nope", {}), rt::kMemberNotFound);
  EXPECT_EQ(ErrorOf(u"Need", {}), rt::kWrongArgumentCount);
  EXPECT_EQ(ErrorOf(u"Need", {Arg::ByVal(VLong(1))}), rt::kWrongArgumentCount);
  EXPECT_EQ(ErrorOf(u"Need", {Arg::ByVal(VLong(1)), Arg::ByVal(VLong(2)), Arg::ByVal(VLong(3))}),
            rt::kWrongArgumentCount);
  EXPECT_EQ(ErrorOf(u"Need", {Arg::Omitted(), Arg::ByVal(VLong(2))}), rt::kArgumentNotOptional);
  EXPECT_EQ(ErrorOf(u"Need", {Arg::ByVal(VLong(1)), Arg::Omitted()}), rt::kArgumentNotOptional);
  // A required Variant parameter takes a missing marker passed as a value.
  EXPECT_EQ(Call(u"Need", {Arg::ByVal(Variant::Missing()), Arg::ByVal(VLong(7))}), VLong(7));
  // Dispatch by an identifier the class does not have.
  std::vector<Arg> none;
  EXPECT_THROW(probe_->Invoke(12345, kMethod, none), AutomationError);
}

TEST_F(DispatchTest, OptionalParametersGetMarkerDefaultOrZero) {
  EXPECT_EQ(Call(u"Opt", {}), Variant(u"missing|dflt|0|o"));
  EXPECT_EQ(Call(u"Opt", {Arg::Omitted(), Arg::Omitted(), Arg::Omitted()}),
            Variant(u"missing|dflt|0|o"));
  // A by-value missing marker is an omitted argument, as COM clients send it.
  EXPECT_EQ(Call(u"Opt", {Arg::ByVal(Variant::Missing()), Arg::ByVal(Variant::Missing())}),
            Variant(u"missing|dflt|0|o"));
  EXPECT_EQ(Call(u"Opt", {Arg::ByVal(Variant()), Arg::ByVal(Variant(u"x")),
                          Arg::ByVal(VLong(3))}),
            Variant(u"given|x|n|g"));
  // A given value equal to the default is not "omitted".
  EXPECT_EQ(Call(u"Opt", {Arg::Omitted(), Arg::ByVal(Variant(u"dflt"))}),
            Variant(u"missing|dflt|0|g"));
}

TEST_F(DispatchTest, ByReferenceArgumentsReachTheCaller) {
  Variant v = VLong(1);
  Call(u"Touch", {Arg::ByRef(v)});
  EXPECT_EQ(v, Variant(u"touched"));

  // A typed by-reference parameter works on a coerced copy that goes back
  // into the caller's variable, with the parameter's type.
  Variant n(u"41");
  Call(u"Bump", {Arg::ByRef(n)});
  EXPECT_EQ(n, VLong(42));

  // ... also when the member raises after changing it.
  Variant m = Variant::Integer(1);
  std::vector<Arg> args{Arg::ByRef(m), Arg::ByVal(VBool(true))};
  EXPECT_THROW(InvokeByName(*probe_, u"Bump", args), AutomationError);
  EXPECT_EQ(m, VLong(2));

  // A coercion failure happens before the call: the variable is untouched.
  Variant bad(u"x");
  EXPECT_EQ(ErrorOf(u"Bump", {Arg::ByRef(bad)}), rt::kTypeMismatch);
  EXPECT_EQ(bad, Variant(u"x"));

  // A by-value argument to a by-reference parameter changes only the copy.
  Variant kept = VLong(5);
  Call(u"Bump", {Arg::ByVal(kept)});
  EXPECT_EQ(kept, VLong(5));
}

TEST_F(DispatchTest, ObjectAndArrayParameters) {
  EXPECT_EQ(Call(u"IsNothing", {Arg::ByVal(Variant::Nothing())}), VBool(true));
  EXPECT_EQ(Call(u"IsNothing", {Arg::ByVal(Variant::Object(probe_))}), VBool(false));
  EXPECT_EQ(ErrorOf(u"IsNothing", {Arg::ByVal(VLong(1))}), rt::kTypeMismatch);
  EXPECT_EQ(ErrorOf(u"IsNothing", {Arg::ByVal(Variant())}), rt::kTypeMismatch);

  Variant arr = Variant::Array(SafeArray::Strings({u"a", u"b", u"c"}, 1));
  EXPECT_EQ(Call(u"Stamp", {Arg::ByRef(arr)}), VLong(3));
  EXPECT_EQ(arr.array().Get(1), Variant(u"stamped"));  // the caller's array changed

  Variant longs = Variant::Array(SafeArray(VarType::kLong, 0, 2));
  Variant variants = Variant::Array(SafeArray::Variants({Variant(u"a")}));
  EXPECT_EQ(ErrorOf(u"Stamp", {Arg::ByRef(longs)}), rt::kTypeMismatch);
  EXPECT_EQ(ErrorOf(u"Stamp", {Arg::ByRef(variants)}), rt::kTypeMismatch);
  EXPECT_EQ(ErrorOf(u"Stamp", {Arg::ByVal(Variant(u"abc"))}), rt::kTypeMismatch);
}

TEST_F(DispatchTest, PropertyLetAndSetNeedTheirOwnMember) {
  Call(u"Name", {Arg::ByVal(VLong(12))}, kPropertyLet);
  EXPECT_EQ(Call(u"Name", {}), Variant(u"12"));
  Ref<Object> other = CreateObjectByClass(kProbeClass);
  Call(u"Target", {Arg::ByVal(Variant::Object(other))}, kPropertySet);
  EXPECT_EQ(Call(u"Target", {}), Variant::Object(other));

  EXPECT_EQ(ErrorOf(u"Name", {Arg::ByVal(Variant::Object(other))}, kPropertySet),
            rt::kMemberNotFound);
  EXPECT_EQ(ErrorOf(u"Target", {Arg::ByVal(Variant::Object(other))}, kPropertyLet),
            rt::kMemberNotFound);
  EXPECT_EQ(ErrorOf(u"Sum", {Arg::ByVal(VLong(1))}, kPropertyLet), rt::kMemberNotFound);
  EXPECT_EQ(ErrorOf(u"Name", {}, kPropertyLet), rt::kWrongArgumentCount);
  EXPECT_EQ(ErrorOf(u"Target", {Arg::ByVal(VLong(3))}, kPropertySet), rt::kTypeMismatch);
  // A client offering both kinds gets set for an object and let otherwise.
  Call(u"Target", {Arg::ByVal(Variant::Nothing())}, kPropertyLet | kPropertySet);
  EXPECT_EQ(Call(u"Target", {}), Variant::Nothing());
}

TEST_F(DispatchTest, DefaultMemberAndForEach) {
  EXPECT_EQ(DefaultValue(*probe_), Variant(u"value of probe"));
  EXPECT_EQ(ForEachItems(*probe_),
            (std::vector<Variant>{VLong(1), Variant(u"two"), Variant::Null()}));

  Ref<Object> app = ApplicationObject();  // a class with neither
  EXPECT_THROW(DefaultValue(*app), AutomationError);
  try {
    ForEachItems(*app);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), rt::kMemberNotFound);
  }
}

TEST_F(DispatchTest, ArgumentsToAParameterlessMemberIndexItsResult) {
  Collection& items = *P(*probe_).items_;
  items.Add(Variant(u"first"), Variant(u"k1"));
  items.Add(Variant(u"second"), Variant(u"k2"));
  EXPECT_EQ(Call(u"Items", {Arg::ByVal(VLong(2))}), Variant(u"second"));
  EXPECT_EQ(Call(u"Items", {Arg::ByVal(Variant(u"K1"))}), Variant(u"first"));
  EXPECT_EQ(ErrorOf(u"Items", {Arg::ByVal(VLong(3))}), rt::kSubscriptOutOfRange);
  EXPECT_EQ(Call(u"List", {Arg::ByVal(VLong(1))}), Variant(u"b"));
  EXPECT_EQ(ErrorOf(u"List", {Arg::ByVal(VLong(2))}), rt::kSubscriptOutOfRange);

  // A member that cannot return an object or array: wrong count, and it is
  // not run for it.
  EXPECT_EQ(ErrorOf(u"Count", {Arg::ByVal(VLong(1))}), rt::kWrongArgumentCount);
  EXPECT_EQ(ErrorOf(u"Log", {Arg::ByVal(VLong(1))}), rt::kWrongArgumentCount);
  EXPECT_EQ(P(*probe_).calls_, 0);

  // Nothing to index.
  EXPECT_EQ(ErrorOf(u"Target", {Arg::ByVal(VLong(1))}), rt::kObjectVariableNotSet);
}

TEST_F(DispatchTest, EnumeratorsAreCallableLateBound) {
  Ref<Enumerator> e = MakeSnapshotEnumerator({VLong(1), VLong(2), VLong(3)});
  Variant item;
  std::vector<Arg> args{Arg::ByRef(item)};
  EXPECT_EQ(InvokeByName(*e, u"Next", args), VBool(true));
  EXPECT_EQ(item, VLong(1));
  EXPECT_EQ(CallByName(*e, u"Skip", {VLong(1)}), VBool(true));
  EXPECT_EQ(InvokeByName(*e, u"Next", args), VBool(true));
  EXPECT_EQ(item, VLong(3));
  EXPECT_EQ(InvokeByName(*e, u"Next", args), VBool(false));
  EXPECT_EQ(item, VLong(3));
  CallByName(*e, u"Reset");
  EXPECT_EQ(ForEachItems(*e), (std::vector<Variant>{VLong(1), VLong(2), VLong(3)}));
}

}  // namespace
}  // namespace keystrel
