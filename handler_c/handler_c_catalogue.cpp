// The catalogue entry of clsZqRegyHandlerC: members in slot order, with the
// parameter names, types and flags late-bound callers see.
#include <optional>

#include "frame/catalogue.h"
#include "frame/collection.h"
#include "handler_c/handler_c.h"

namespace keystrel {
namespace {

HandlerC& Self(Object& self) { return static_cast<HandlerC&>(self); }

ParamInfo Param(UString name, VarType type, bool by_ref = false, bool optional = false,
                UString enum_name = {}) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.by_ref = by_ref;
  p.optional = optional;
  p.enum_name = std::move(enum_name);
  return p;
}

ParamInfo RootParam() { return Param(u"hKey", VarType::kLong, false, false, u"hKey"); }
ParamInfo DataTypeParam() { return Param(u"DType", VarType::kLong, true, false, u"DataType"); }

// Typed optional string by reference: not given means "use the handler's key
// path", which an empty text does not.
std::optional<UString> OptionalText(CallFrame& f, std::size_t i) {
  if (f.omitted(i)) return std::nullopt;
  return f.String(i);
}

Variant CollectionResult(Ref<Collection> c) { return Variant::Object(Ref<Object>(std::move(c))); }

std::vector<MemberInfo> Members() {
  std::vector<MemberInfo> m;
  // Properties.
  MemberInfo root_get = Member(u"hKey", MemberKind::kPropertyGet, {}, VarType::kLong,
                               [](Object& s, CallFrame&) { return VLong(Self(s).hKey()); });
  root_get.result_enum = u"hKey";
  m.push_back(std::move(root_get));
  m.push_back(Member(u"hKey", MemberKind::kPropertyLet,
                     {Param(u"value", VarType::kLong, false, false, u"hKey")}, VarType::kEmpty,
                     [](Object& s, CallFrame& f) {
                       Self(s).set_hKey(f.Long(0));
                       return Variant();
                     }));
  m.push_back(Member(u"KeyRoot", MemberKind::kPropertyGet, {}, VarType::kString,
                     [](Object& s, CallFrame&) { return VStr(Self(s).KeyRoot()); }));
  m.push_back(Member(u"KeyRoot", MemberKind::kPropertyLet, {Param(u"value", VarType::kString)},
                     VarType::kEmpty, [](Object& s, CallFrame& f) {
                       Self(s).set_KeyRoot(f.String(0));
                       return Variant();
                     }));
  m.push_back(Member(u"Subkey", MemberKind::kPropertyGet, {}, VarType::kString,
                     [](Object& s, CallFrame&) { return VStr(Self(s).Subkey()); }));
  m.push_back(Member(u"Subkey", MemberKind::kPropertyLet, {Param(u"value", VarType::kString)},
                     VarType::kEmpty, [](Object& s, CallFrame& f) {
                       Self(s).set_Subkey(f.String(0));
                       return Variant();
                     }));
  // Key operations.
  m.push_back(Method(u"KeyExists", {}, VarType::kBoolean,
                     [](Object& s, CallFrame&) { return VBool(Self(s).KeyExists()); }));
  m.push_back(Method(u"CreateKey", {Param(u"KeyName", VarType::kVariant, true, true)},
                     VarType::kString,
                     [](Object& s, CallFrame& f) { return VStr(Self(s).CreateKey(f[0])); }));
  m.push_back(Method(u"DeleteKey", {Param(u"KeyName", VarType::kString, true)}, VarType::kLong,
                     [](Object& s, CallFrame& f) { return VLong(Self(s).DeleteKey(f.String(0))); }));
  m.push_back(Method(u"DeleteValue", {Param(u"ValueName", VarType::kString, true)},
                     VarType::kLong, [](Object& s, CallFrame& f) {
                       return VLong(Self(s).DeleteValue(f[0].string()));
                     }));
  // Enumeration.
  MemberInfo enum_keys = Method(u"EnumRegistryKeys", {RootParam(), Param(u"KeyName", VarType::kString)},
                                VarType::kObject, [](Object& s, CallFrame& f) {
                                  return CollectionResult(
                                      Self(s).EnumRegistryKeys(f.Long(0), f.String(1)));
                                });
  enum_keys.result_class = u"Collection";
  m.push_back(std::move(enum_keys));
  MemberInfo enum_values = Method(
      u"EnumRegistryValues", {RootParam(), Param(u"KeyName", VarType::kString)}, VarType::kObject,
      [](Object& s, CallFrame& f) {
        return CollectionResult(Self(s).EnumRegistryValues(f.Long(0), f.String(1)));
      });
  enum_values.result_class = u"Collection";
  m.push_back(std::move(enum_values));
  // Typed values.
  m.push_back(Method(u"GetRegistryValue",
                     {Param(u"ValueName", VarType::kString),
                      Param(u"DefaultValue", VarType::kVariant, true, true)},
                     VarType::kVariant, [](Object& s, CallFrame& f) {
                       return Self(s).GetRegistryValue(f.String(0), f[1]);
                     }));
  m.push_back(Method(u"SetRegistryValue",
                     {Param(u"ValueName", VarType::kString),
                      Param(u"Value", VarType::kVariant, true), DataTypeParam()},
                     VarType::kBoolean, [](Object& s, CallFrame& f) {
                       return VBool(Self(s).SetRegistryValue(f.String(0), f[1], f.Long(2)));
                     }));
  // Remote values.
  m.push_back(Method(u"ReadRemoteRegistryValue",
                     {Param(u"sRemoteComputer", VarType::kString), RootParam(),
                      Param(u"ValueName", VarType::kString),
                      Param(u"KeyPath", VarType::kString, true, true)},
                     VarType::kVariant, [](Object& s, CallFrame& f) {
                       return Self(s).ReadRemoteRegistryValue(f.String(0), f.Long(1),
                                                              f.String(2), OptionalText(f, 3));
                     }));
  m.push_back(Method(u"WriteRemoteRegistryValue",
                     {Param(u"sRemoteComputer", VarType::kString), RootParam(),
                      Param(u"ValueName", VarType::kString), Param(u"Value", VarType::kVariant, true),
                      DataTypeParam(), Param(u"KeyPath", VarType::kString, true, true)},
                     VarType::kBoolean, [](Object& s, CallFrame& f) {
                       return VBool(Self(s).WriteRemoteRegistryValue(
                           f.String(0), f.Long(1), f.String(2), f[3], f.Long(4),
                           OptionalText(f, 5)));
                     }));
  // String helper.
  m.push_back(Method(u"TrimNull", {Param(u"Item", VarType::kString, true)}, VarType::kString,
                     [](Object& s, CallFrame& f) { return VStr(Self(s).TrimNull(f[0].string())); }));
  return m;
}

}  // namespace

void RegisterHandlerCModule() {
  ClassInfo info;
  info.name = u"clsZqRegyHandlerC";
  info.instancing = Instancing::kCreatable;
  info.members = Members();
  info.factory = [] { return Ref<Object>(HandlerC::Create()); };
  Catalogue::Instance().AddClass(std::move(info));
}

}  // namespace keystrel
