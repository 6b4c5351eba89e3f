// The catalogue entry of clsZqRegyUtilitesA: members in slot order, with the
// parameter names, types, defaults and flags late-bound callers see.
#include <functional>

#include "frame/catalogue.h"
#include "frame/safe_array.h"
#include "utilities/utilities.h"

namespace keystrel {
namespace {

const char16_t kRootEnum[] = u"ERegistryClassConstants";
const char16_t kTypeEnum[] = u"ERegistryValueTypes";

UtilitesA& Self(Object& self) { return static_cast<UtilitesA&>(self); }

ParamInfo Param(UString name, VarType type, bool by_ref = false, UString enum_name = {}) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.by_ref = by_ref;
  p.enum_name = std::move(enum_name);
  return p;
}

ParamInfo Optional(UString name, VarType type, Variant default_value) {
  ParamInfo p = Param(std::move(name), type);
  p.optional = true;
  p.default_value = std::move(default_value);
  return p;
}

MemberInfo TypedMember(UString name, MemberKind kind, std::vector<ParamInfo> params, VarType result,
                       MemberFn fn, UString result_enum = {}) {
  MemberInfo m = Member(std::move(name), kind, std::move(params), result, std::move(fn));
  m.result_enum = std::move(result_enum);
  return m;
}

MemberInfo Let(UString name, ParamInfo value, MemberFn fn) {
  return TypedMember(std::move(name), MemberKind::kPropertyLet, {std::move(value)}, VarType::kEmpty,
                     std::move(fn));
}

// The two enumerations fill a string array and a count passed by reference.
// The count is handed back also when the member raises, so a caller sees the
// names found before the failure together with their number.
using EnumerateFn = bool (UtilitesA::*)(SafeArray&, std::int32_t&);

Variant CallEnumerate(Object& self, CallFrame& f, EnumerateFn fn) {
  std::int32_t count = f.Long(1);
  struct CountBack {
    Variant& slot;
    std::int32_t& count;
    ~CountBack() { slot = VLong(count); }
  } back{f[1], count};
  return VBool((Self(self).*fn)(f[0].array(), count));
}

std::vector<ParamInfo> EnumerateParams(UString names, UString count) {
  return {Param(std::move(names), VarType::kArray | VarType::kString, true),
          Param(std::move(count), VarType::kLong, true)};
}

std::vector<MemberInfo> Members() {
  std::vector<MemberInfo> m;
  // Key and value operations.
  m.push_back(TypedMember(u"KeyExists", MemberKind::kPropertyGet, {}, VarType::kBoolean,
                          [](Object& s, CallFrame&) { return VBool(Self(s).KeyExists()); }));
  m.push_back(Method(u"CreateKey", {}, VarType::kBoolean,
                     [](Object& s, CallFrame&) { return VBool(Self(s).CreateKey()); }));
  m.push_back(Method(u"DeleteKey", {}, VarType::kBoolean,
                     [](Object& s, CallFrame&) { return VBool(Self(s).DeleteKey()); }));
  m.push_back(Method(u"DeleteValue", {}, VarType::kBoolean,
                     [](Object& s, CallFrame&) { return VBool(Self(s).DeleteValue()); }));
  m.push_back(TypedMember(u"Value", MemberKind::kPropertyGet, {}, VarType::kVariant,
                          [](Object& s, CallFrame&) { return Self(s).Value(); }));
  m.push_back(Let(u"Value", Param(u"vNewValue", VarType::kVariant), [](Object& s, CallFrame& f) {
    Self(s).set_Value(f[0]);
    return Variant();
  }));
  // Enumeration.
  m.push_back(Method(
      u"EnumerateValues", EnumerateParams(u"sKeyNames", u"iKeyCount"), VarType::kBoolean,
      [](Object& s, CallFrame& f) { return CallEnumerate(s, f, &UtilitesA::EnumerateValues); }));
  m.push_back(Method(
      u"EnumerateSections", EnumerateParams(u"sSect", u"iSectCount"), VarType::kBoolean,
      [](Object& s, CallFrame& f) { return CallEnumerate(s, f, &UtilitesA::EnumerateSections); }));
  // File associations.
  m.push_back(Method(
      u"CreateEXEAssociation",
      {Param(u"sExePath", VarType::kString), Param(u"sClassName", VarType::kString),
       Param(u"sClassDescription", VarType::kString), Param(u"sAssociation", VarType::kString),
       Optional(u"sOpenMenuText", VarType::kString, VStr(u"&Open")),
       Optional(u"bSupportPrint", VarType::kBoolean, VBool(false)),
       Optional(u"sPrintMenuText", VarType::kString, VStr(u"&Print")),
       Optional(u"bSupportNew", VarType::kBoolean, VBool(false)),
       Optional(u"sNewMenuText", VarType::kString, VStr(u"&New")),
       Optional(u"bSupportInstall", VarType::kBoolean, VBool(false)),
       Optional(u"sInstallMenuText", VarType::kString, VStr(u"")),
       Optional(u"lDefaultIconIndex", VarType::kLong, VLong(-1))},
      VarType::kEmpty, [](Object& s, CallFrame& f) {
        Self(s).CreateEXEAssociation(f.String(0), f.String(1), f.String(2), f.String(3),
                                     f.String(4), f.Bool(5), f.String(6), f.Bool(7), f.String(8),
                                     f.Bool(9), f.String(10), f.Long(11));
        return Variant();
      }));
  m.push_back(Method(u"CreateAdditionalEXEAssociations",
                     {Param(u"sClassName", VarType::kString),
                      Param(u"vItems", VarType::kArray | VarType::kVariant, true)},
                     VarType::kEmpty, [](Object& s, CallFrame& f) {
                       Self(s).CreateAdditionalEXEAssociations(f.String(0), f[1].array());
                       return Variant();
                     }));
  // Addressing properties.
  m.push_back(TypedMember(
      u"valueType", MemberKind::kPropertyGet, {}, VarType::kLong,
      [](Object& s, CallFrame&) { return VLong(Self(s).valueType()); }, kTypeEnum));
  m.push_back(Let(u"valueType", Param(u"eNewValue", VarType::kLong, false, kTypeEnum),
                  [](Object& s, CallFrame& f) {
                    Self(s).set_valueType(f.Long(0));
                    return Variant();
                  }));
  m.push_back(TypedMember(
      u"ClassKey", MemberKind::kPropertyGet, {}, VarType::kLong,
      [](Object& s, CallFrame&) { return VLong(Self(s).ClassKey()); }, kRootEnum));
  m.push_back(Let(u"ClassKey", Param(u"eNewValue", VarType::kLong, false, kRootEnum),
                  [](Object& s, CallFrame& f) {
                    Self(s).set_ClassKey(f.Long(0));
                    return Variant();
                  }));
  m.push_back(TypedMember(u"SectionKey", MemberKind::kPropertyGet, {}, VarType::kString,
                          [](Object& s, CallFrame&) { return VStr(Self(s).SectionKey()); }));
  m.push_back(
      Let(u"SectionKey", Param(u"sNewValue", VarType::kString), [](Object& s, CallFrame& f) {
        Self(s).set_SectionKey(f.String(0));
        return Variant();
      }));
  m.push_back(TypedMember(u"ValueKey", MemberKind::kPropertyGet, {}, VarType::kString,
                          [](Object& s, CallFrame&) { return VStr(Self(s).ValueKey()); }));
  m.push_back(Let(u"ValueKey", Param(u"sNewValue", VarType::kString), [](Object& s, CallFrame& f) {
    Self(s).set_ValueKey(f.String(0));
    return Variant();
  }));
  m.push_back(TypedMember(u"Default", MemberKind::kPropertyGet, {}, VarType::kVariant,
                          [](Object& s, CallFrame&) { return Self(s).Default(); }));
  m.push_back(Let(u"Default", Param(u"vNewValue", VarType::kVariant), [](Object& s, CallFrame& f) {
    Self(s).set_Default(f[0]);
    return Variant();
  }));
  return m;
}

}  // namespace

void RegisterUtilitiesModule() {
  ClassInfo info;
  info.name = u"clsZqRegyUtilitesA";
  info.instancing = Instancing::kCreatable;
  info.members = Members();
  info.factory = [] { return Ref<Object>(UtilitesA::Create()); };
  Catalogue::Instance().AddClass(std::move(info));
}

}  // namespace keystrel
