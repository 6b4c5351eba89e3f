// The catalogue entry of clsZqRegyHandlerB: members in slot order, with the
// parameter names, types and flags late-bound callers see.
#include "frame/catalogue.h"
#include "frame/safe_array.h"
#include "handler_b/handler_b.h"

namespace keystrel {
namespace {

HandlerB& Self(Object& self) { return static_cast<HandlerB&>(self); }

ParamInfo Param(UString name, VarType type, bool by_ref = false) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.by_ref = by_ref;
  return p;
}

ParamInfo RootParam() { return Param(u"lngRootKey", VarType::kLong); }
ParamInfo PathParam() { return Param(u"strRegKeyPath", VarType::kString); }

std::vector<MemberInfo> Members() {
  std::vector<MemberInfo> m;
  m.push_back(Member(u"hKey", MemberKind::kPropertyLet, {Param(u"vNewValue", VarType::kVariant)},
                     VarType::kEmpty, [](Object& s, CallFrame& f) {
                       Self(s).set_hKey(f[0]);
                       return Variant();
                     }));
  m.push_back(Member(u"hKey", MemberKind::kPropertyGet, {}, VarType::kVariant,
                     [](Object& s, CallFrame&) { return Self(s).hKey(); }));
  m.push_back(Method(u"regRead_All_Keys",
                     {RootParam(), PathParam(), Param(u"lngKeyCount", VarType::kLong, true),
                      Param(u"arKeyArray", VarType::kArray | VarType::kVariant, true)},
                     VarType::kBoolean, [](Object& s, CallFrame& f) {
                       // The count is set before the 16-bit limit can
                       // end the member, so it reaches the caller either way.
                       std::int32_t count = f.Long(2);
                       bool listed = false;
                       try {
                         listed = Self(s).regRead_All_Keys(f.Long(0), f.String(1), count,
                                                           f[3].array());
                       } catch (...) {
                         f[2] = VLong(count);
                         throw;
                       }
                       f[2] = VLong(count);
                       return VBool(listed);
                     }));
  m.push_back(Method(u"regDelete_Multiple_Key_Values", {RootParam(), PathParam()},
                     VarType::kBoolean, [](Object& s, CallFrame& f) {
                       return VBool(Self(s).regDelete_Multiple_Key_Values(f.Long(0), f.String(1)));
                     }));
  m.push_back(Method(u"regDelete_Single_Key",
                     {RootParam(), PathParam(), Param(u"strRegSubKey", VarType::kString)},
                     VarType::kBoolean, [](Object& s, CallFrame& f) {
                       return VBool(
                           Self(s).regDelete_Single_Key(f.Long(0), f.String(1), f.String(2)));
                     }));
  m.push_back(Method(u"regDoes_Key_Exist", {RootParam(), PathParam()}, VarType::kBoolean,
                     [](Object& s, CallFrame& f) {
                       return VBool(Self(s).regDoes_Key_Exist(f.Long(0), f.String(1)));
                     }));
  m.push_back(Method(u"regQuery_A_Key",
                     {RootParam(), PathParam(), Param(u"strRegSubKey", VarType::kString)},
                     VarType::kVariant, [](Object& s, CallFrame& f) {
                       return Self(s).regQuery_A_Key(f.Long(0), f.String(1), f.String(2));
                     }));
  m.push_back(Method(u"regCreate_Key_Value",
                     {RootParam(), PathParam(), Param(u"strRegSubKey", VarType::kString),
                      Param(u"varRegData", VarType::kVariant, true)},
                     VarType::kEmpty, [](Object& s, CallFrame& f) {
                       Self(s).regCreate_Key_Value(f.Long(0), f.String(1), f.String(2), f[3]);
                       return Variant();
                     }));
  m.push_back(Method(u"regCreate_A_Key", {RootParam(), PathParam()}, VarType::kEmpty,
                     [](Object& s, CallFrame& f) {
                       Self(s).regCreate_A_Key(f.Long(0), f.String(1));
                       return Variant();
                     }));
  m.push_back(Method(u"regDelete_A_Key",
                     {RootParam(), PathParam(), Param(u"strRegKeyName", VarType::kString)},
                     VarType::kBoolean, [](Object& s, CallFrame& f) {
                       return VBool(
                           Self(s).regDelete_A_Key(f.Long(0), f.String(1), f.String(2)));
                     }));
  return m;
}

}  // namespace

void RegisterHandlerBModule() {
  ClassInfo info;
  info.name = u"clsZqRegyHandlerB";
  info.instancing = Instancing::kCreatable;
  info.members = Members();
  info.factory = [] { return Ref<Object>(HandlerB::Create()); };
  Catalogue::Instance().AddClass(std::move(info));
}

}  // namespace keystrel
