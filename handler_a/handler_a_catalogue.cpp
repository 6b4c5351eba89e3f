// The catalogue entries of the object model: clsZqRegyHandlerA (global, with
// its event interface), its two collections, the key object and the value
// object, each with its members in slot order.
#include <atomic>

#include "frame/catalogue.h"
#include "handler_a/handler_a.h"

namespace keystrel {
namespace {

constexpr char16_t kHandlerClass[] = u"clsZqRegyHandlerA";
constexpr char16_t kKeysClass[] = u"clsZqRegyHandlerAKeysA";
constexpr char16_t kValuesClass[] = u"clsZqRegyHandlerAValuesA";
constexpr char16_t kKeyClass[] = u"clsZqRegyHandlerAKeyA";
constexpr char16_t kValueClass[] = u"clsZqRegyHandlerAValueA";
constexpr char16_t kRootKeys[] = u"StandardRegistryKeys";
constexpr char16_t kValueTypes[] = u"RegistryDataTypes";

template <class T>
T& Self(Object& self) {
  return static_cast<T&>(self);
}

ParamInfo Param(UString name, VarType type, UString enum_name = {}) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.enum_name = std::move(enum_name);
  return p;
}

ParamInfo ByRef(UString name, VarType type, UString enum_name = {}) {
  ParamInfo p = Param(std::move(name), type, std::move(enum_name));
  p.by_ref = true;
  return p;
}

ParamInfo Optional(ParamInfo p, std::optional<Variant> default_value = std::nullopt) {
  p.optional = true;
  p.default_value = std::move(default_value);
  return p;
}

MemberInfo TypedMember(UString name, MemberKind kind, std::vector<ParamInfo> params, VarType result,
                       MemberFn fn, UString result_class = {}) {
  MemberInfo m = Member(std::move(name), kind, std::move(params), result, std::move(fn));
  m.result_class = std::move(result_class);
  return m;
}

MemberInfo Get(UString name, VarType result, MemberFn fn, UString result_class = {}) {
  return TypedMember(std::move(name), MemberKind::kPropertyGet, {}, result, std::move(fn),
                     std::move(result_class));
}

MemberInfo Sub(UString name, std::vector<ParamInfo> params, MemberFn fn) {
  return TypedMember(std::move(name), MemberKind::kMethod, std::move(params), VarType::kEmpty,
                     std::move(fn));
}

MemberInfo DefaultMember(MemberInfo m) {
  m.dispid = kDispidValue;
  return m;
}

MemberInfo NewEnumMember(MemberFn fn) {
  MemberInfo m = TypedMember(u"NewEnum", MemberKind::kMethod, {}, VarType::kObject, std::move(fn));
  m.dispid = kDispidNewEnum;
  m.hidden = true;
  return m;
}

ParamInfo Flag(UString name) { return Optional(Param(std::move(name), VarType::kBoolean)); }

Variant Obj(Ref<Object> o) { return Variant::Object(std::move(o)); }

// clsZqRegyHandlerA ---------------------------------------------------------

std::vector<MemberInfo> HandlerMembers() {
  using H = HandlerA;
  std::vector<MemberInfo> m;
  m.push_back(Get(u"BuddyObject", VarType::kObject,
                  [](Object& s, CallFrame&) { return Obj(Self<H>(s).BuddyObject()); }));
  m.push_back(TypedMember(u"BuddyObject", MemberKind::kPropertySet,
                          {Param(u"vNewValue", VarType::kObject)}, VarType::kEmpty,
                          [](Object& s, CallFrame& f) {
                            Self<H>(s).BuddyObject(f.Obj(0));
                            return Variant();
                          }));
  m.push_back(Sub(u"AbortEnum", {}, [](Object& s, CallFrame&) {
    Self<H>(s).AbortEnum();
    return Variant();
  }));
  m.push_back(Get(u"Count", VarType::kLong,
                  [](Object& s, CallFrame&) { return Variant::Long(Self<H>(s).Count()); }));
  m.push_back(TypedMember(
      u"Item", MemberKind::kPropertyGet, {Param(u"vntIndexKey", VarType::kVariant)}, VarType::kLong,
      [](Object& s, CallFrame& f) { return Variant::Long(Self<H>(s).Item(f[0])); }));
  m.push_back(
      TypedMember(u"Item", MemberKind::kPropertyLet,
                  {Param(u"vntIndexKey", VarType::kVariant), Param(u"vNewValue", VarType::kLong)},
                  VarType::kEmpty, [](Object& s, CallFrame& f) {
                    Self<H>(s).Item(f[0], f.Long(1));
                    return Variant();
                  }));
  m.push_back(TypedMember(
      u"OpenKey", MemberKind::kMethod,
      {Param(u"uKey", VarType::kLong, kRootKeys), Param(u"szSubKey", VarType::kString),
       Flag(u"fMustExist"), Optional(Param(u"vntIndexKey", VarType::kString), Variant(u""))},
      VarType::kLong, [](Object& s, CallFrame& f) {
        return Variant::Long(Self<H>(s).OpenKey(f.Long(0), f.String(1), f.Bool(2), f.String(3)));
      }));
  m.push_back(Sub(u"CloseKey", {Param(u"uKey", VarType::kVariant)}, [](Object& s, CallFrame& f) {
    Self<H>(s).CloseKey(f[0]);
    return Variant();
  }));
  m.push_back(TypedMember(u"GetValue", MemberKind::kMethod,
                          {Param(u"uKey", VarType::kLong), Param(u"szValue", VarType::kString),
                           Optional(ByRef(u"DefaultValue", VarType::kVariant)),
                           Optional(ByRef(u"lpType", VarType::kLong, kValueTypes))},
                          VarType::kVariant, [](Object& s, CallFrame& f) {
                            std::int32_t type = f.Long(3);
                            Variant result =
                                Self<H>(s).GetValue(f.Long(0), f.String(1), &f[2], &type);
                            f[3] = Variant::Long(type);
                            return result;
                          }));
  m.push_back(TypedMember(u"GetMultiSZ", MemberKind::kMethod, {Param(u"vData", VarType::kString)},
                          VarType::kArray | VarType::kString, [](Object& s, CallFrame& f) {
                            return Variant::Array(Self<H>(s).GetMultiSZ(f.String(0)));
                          }));
  m.push_back(TypedMember(
      u"ToMultiSZ", MemberKind::kMethod, {ByRef(u"vData", VarType::kArray | VarType::kString)},
      VarType::kString,
      [](Object& s, CallFrame& f) { return Variant::String(Self<H>(s).ToMultiSZ(f[0].array())); }));
  m.push_back(TypedMember(u"SetValue", MemberKind::kMethod,
                          {Param(u"uKey", VarType::kLong), Param(u"szValue", VarType::kString),
                           Optional(ByRef(u"vData", VarType::kVariant))},
                          VarType::kLong, [](Object& s, CallFrame& f) {
                            return Variant::Long(Self<H>(s).SetValue(f.Long(0), f.String(1), f[2]));
                          }));
  m.push_back(TypedMember(
      u"GetKeyObject", MemberKind::kMethod, {Param(u"uKey", VarType::kLong), Flag(u"fEnumValues")},
      VarType::kObject,
      [](Object& s, CallFrame& f) { return Obj(Self<H>(s).GetKeyObject(f.Long(0), f.Bool(1))); },
      kKeyClass));
  const std::vector<ParamInfo> walk = {Param(u"uKey", VarType::kLong, kRootKeys),
                                       Flag(u"fRaiseEvents"), Flag(u"fDoEvents"),
                                       Flag(u"fReturnNothing")};
  m.push_back(TypedMember(
      u"EnumKeys", MemberKind::kMethod, walk, VarType::kObject,
      [](Object& s, CallFrame& f) {
        return Obj(Self<H>(s).EnumKeys(f.Long(0), f.Bool(1), f.Bool(2), f.Bool(3)));
      },
      kKeysClass));
  m.push_back(TypedMember(
      u"EnumValues", MemberKind::kMethod, walk, VarType::kObject,
      [](Object& s, CallFrame& f) {
        return Obj(Self<H>(s).EnumValues(f.Long(0), f.Bool(1), f.Bool(2), f.Bool(3)));
      },
      kValuesClass));
  m.push_back(TypedMember(
      u"DeleteValue", MemberKind::kMethod,
      {Param(u"uKey", VarType::kLong), Param(u"szValue", VarType::kString)}, VarType::kVariant,
      [](Object& s, CallFrame& f) { return Self<H>(s).DeleteValue(f.Long(0), f.String(1)); }));
  m.push_back(TypedMember(
      u"DeleteKey", MemberKind::kMethod,
      {Param(u"uKey", VarType::kLong), Param(u"szSubKey", VarType::kString)}, VarType::kVariant,
      [](Object& s, CallFrame& f) { return Self<H>(s).DeleteKey(f.Long(0), f.String(1)); }));
  return m;
}

// The collections ------------------------------------------------------------

template <class C>
MemberInfo CountMember() {
  return Get(u"Count", VarType::kLong,
             [](Object& s, CallFrame&) { return Variant::Long(Self<C>(s).Count()); });
}

template <class C>
MemberInfo RemoveMember() {
  return Sub(u"Remove", {ByRef(u"vntIndexKey", VarType::kVariant)}, [](Object& s, CallFrame& f) {
    Self<C>(s).Remove(f[0]);
    return Variant();
  });
}

template <class C>
MemberInfo ClearMember() {
  return Sub(u"Clear", {}, [](Object& s, CallFrame&) {
    Self<C>(s).Clear();
    return Variant();
  });
}

template <class C>
MemberInfo ItemMember(const char16_t* item_class) {
  return DefaultMember(TypedMember(
      u"Item", MemberKind::kPropertyGet, {ByRef(u"vntIndexKey", VarType::kVariant)},
      VarType::kObject, [](Object& s, CallFrame& f) { return Obj(Self<C>(s).Item(f[0])); },
      item_class));
}

template <class C>
MemberInfo EnumMember() {
  return NewEnumMember([](Object& s, CallFrame&) { return Obj(Self<C>(s).NewEnum()); });
}

std::vector<MemberInfo> KeysMembers() {
  using K = HandlerAKeys;
  std::vector<MemberInfo> m;
  m.push_back(Get(u"Handle", VarType::kLong,
                  [](Object& s, CallFrame&) { return Variant::Long(Self<K>(s).Handle()); }));
  m.push_back(TypedMember(
      u"Add", MemberKind::kMethod,
      {Param(u"sName", VarType::kString),
       Optional(Param(u"dwHandle", VarType::kLong), Variant::Long(0)),
       Optional(Param(u"sKey", VarType::kString), Variant(u""))},
      VarType::kObject,
      [](Object& s, CallFrame& f) {
        return Obj(Self<K>(s).Add(f.String(0), f.Long(1), f.String(2)));
      },
      kKeyClass));
  m.push_back(CountMember<K>());
  m.push_back(RemoveMember<K>());
  m.push_back(ClearMember<K>());
  m.push_back(EnumMember<K>());
  m.push_back(ItemMember<K>(kKeyClass));
  return m;
}

std::vector<MemberInfo> ValuesMembers() {
  using V = HandlerAValues;
  std::vector<MemberInfo> m;
  m.push_back(Get(u"ParentKey", VarType::kLong,
                  [](Object& s, CallFrame&) { return Variant::Long(Self<V>(s).ParentKey()); }));
  m.push_back(CountMember<V>());
  m.push_back(RemoveMember<V>());
  m.push_back(ClearMember<V>());
  m.push_back(EnumMember<V>());
  m.push_back(ItemMember<V>(kValueClass));
  return m;
}

// The key and value objects --------------------------------------------------

std::vector<MemberInfo> KeyMembers() {
  using K = HandlerAKey;
  std::vector<MemberInfo> m;
  m.push_back(Get(u"HadChildrenOnEnum", VarType::kBoolean, [](Object& s, CallFrame&) {
    return Variant::Boolean(Self<K>(s).HadChildrenOnEnum());
  }));
  m.push_back(Get(u"Handle", VarType::kLong,
                  [](Object& s, CallFrame&) { return Variant::Long(Self<K>(s).Handle()); }));
  m.push_back(Get(
      u"Parent", VarType::kObject, [](Object& s, CallFrame&) { return Obj(Self<K>(s).Parent()); },
      kKeysClass));
  m.push_back(DefaultMember(Get(u"KeyName", VarType::kString, [](Object& s, CallFrame&) {
    return Variant::String(Self<K>(s).KeyName());
  })));
  m.push_back(Get(
      u"Values", VarType::kObject, [](Object& s, CallFrame&) { return Obj(Self<K>(s).Values()); },
      kValuesClass));
  return m;
}

MemberInfo Let(UString name, VarType type, MemberFn fn) {
  return TypedMember(std::move(name), MemberKind::kPropertyLet, {Param(u"vNewValue", type)},
                     VarType::kEmpty, std::move(fn));
}

std::vector<MemberInfo> ValueMembers() {
  using V = HandlerAValue;
  std::vector<MemberInfo> m;
  m.push_back(
      Get(u"Value", VarType::kVariant, [](Object& s, CallFrame&) { return Self<V>(s).Value(); }));
  m.push_back(Let(u"Value", VarType::kVariant, [](Object& s, CallFrame& f) {
    Self<V>(s).Value(f[0]);
    return Variant();
  }));
  m.push_back(Get(u"AutoSet", VarType::kBoolean,
                  [](Object& s, CallFrame&) { return Variant::Boolean(Self<V>(s).AutoSet()); }));
  m.push_back(Let(u"AutoSet", VarType::kBoolean, [](Object& s, CallFrame& f) {
    Self<V>(s).AutoSet(f.Bool(0));
    return Variant();
  }));
  m.push_back(Get(u"Default", VarType::kBoolean,
                  [](Object& s, CallFrame&) { return Variant::Boolean(Self<V>(s).Default()); }));
  m.push_back(Let(u"Default", VarType::kBoolean, [](Object& s, CallFrame& f) {
    Self<V>(s).Default(f.Bool(0));
    return Variant();
  }));
  m.push_back(Get(u"ParentKey", VarType::kLong,
                  [](Object& s, CallFrame&) { return Variant::Long(Self<V>(s).ParentKey()); }));
  m.push_back(Get(
      u"Parent", VarType::kObject, [](Object& s, CallFrame&) { return Obj(Self<V>(s).Parent()); },
      kValuesClass));
  m.push_back(Get(u"Size", VarType::kLong,
                  [](Object& s, CallFrame&) { return Variant::Long(Self<V>(s).Size()); }));
  m.push_back(DefaultMember(Get(u"ValueName", VarType::kString, [](Object& s, CallFrame&) {
    return Variant::String(Self<V>(s).ValueName());
  })));
  MemberInfo data_type = Get(u"DataType", VarType::kLong, [](Object& s, CallFrame&) {
    return Variant::Long(Self<V>(s).DataType());
  });
  data_type.result_enum = kValueTypes;
  m.push_back(std::move(data_type));
  m.push_back(Sub(u"GetValue", {}, [](Object& s, CallFrame&) {
    Self<V>(s).GetValue();
    return Variant();
  }));
  m.push_back(Sub(u"SetValue", {}, [](Object& s, CallFrame&) {
    Self<V>(s).SetValue();
    return Variant();
  }));
  m.push_back(Sub(u"Clear", {}, [](Object& s, CallFrame&) {
    Self<V>(s).Clear();
    return Variant();
  }));
  m.push_back(TypedMember(
      u"TypeWord", MemberKind::kPropertyGet, {Flag(u"Friendly")}, VarType::kString,
      [](Object& s, CallFrame& f) { return Variant::String(Self<V>(s).TypeWord(f.Bool(0))); }));
  return m;
}

ClassInfo Class(const char16_t* name, Instancing instancing, std::vector<MemberInfo> members) {
  ClassInfo info;
  info.name = name;
  info.instancing = instancing;
  info.members = std::move(members);
  return info;
}

// Cached once found; a lookup made before the module was registered is not
// remembered.
const ClassInfo* Lookup(const char16_t* name, std::atomic<const ClassInfo*>& cache) {
  const ClassInfo* info = cache.load(std::memory_order_acquire);
  if (info == nullptr) {
    info = Catalogue::Instance().FindClass(name);
    if (info != nullptr) cache.store(info, std::memory_order_release);
  }
  return info;
}

}  // namespace

const ClassInfo* HandlerA::class_info() const noexcept {
  static std::atomic<const ClassInfo*> info{nullptr};
  return Lookup(kHandlerClass, info);
}
const ClassInfo* HandlerAKeys::class_info() const noexcept {
  static std::atomic<const ClassInfo*> info{nullptr};
  return Lookup(kKeysClass, info);
}
const ClassInfo* HandlerAValues::class_info() const noexcept {
  static std::atomic<const ClassInfo*> info{nullptr};
  return Lookup(kValuesClass, info);
}
const ClassInfo* HandlerAKey::class_info() const noexcept {
  static std::atomic<const ClassInfo*> info{nullptr};
  return Lookup(kKeyClass, info);
}
const ClassInfo* HandlerAValue::class_info() const noexcept {
  static std::atomic<const ClassInfo*> info{nullptr};
  return Lookup(kValueClass, info);
}

void RegisterHandlerAModule() {
  Catalogue& catalogue = Catalogue::Instance();
  ClassInfo handler = Class(kHandlerClass, Instancing::kGlobal, HandlerMembers());
  handler.events = HandlerA::EventInterface();
  handler.factory = [] { return Ref<Object>(HandlerA::Create()); };
  catalogue.AddClass(std::move(handler));
  catalogue.AddClass(Class(kKeysClass, Instancing::kNotCreatable, KeysMembers()));
  catalogue.AddClass(Class(kValuesClass, Instancing::kNotCreatable, ValuesMembers()));
  catalogue.AddClass(Class(kValueClass, Instancing::kNotCreatable, ValueMembers()));
  catalogue.AddClass(Class(kKeyClass, Instancing::kNotCreatable, KeyMembers()));
}

}  // namespace keystrel
