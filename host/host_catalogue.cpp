// The catalogue entries of clsZqKeystrel10A (members in slot order) and of
// the two member-less classes, plus the runtime's error object that the
// About routine hands to the maker's error report.
#include "frame/catalogue.h"
#include "host/host_services.h"
#include "host/internal/error_object.h"
#include "host/member_less_classes.h"

namespace keystrel {
namespace {

HostServices& Self(Object& self) { return static_cast<HostServices&>(self); }

ParamInfo ByRef(UString name, VarType type, UString enum_name = {}) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.by_ref = true;
  p.enum_name = std::move(enum_name);
  return p;
}

std::vector<MemberInfo> HostMembers() {
  using K = MemberKind;
  using T = VarType;
  std::vector<MemberInfo> m;
  MemberInfo app =
      Member(u"GetProStdProperties", K::kPropertyGet, {}, T::kObject,
             [](Object& s, CallFrame&) { return Variant::Object(Self(s).GetProStdProperties()); });
  app.result_class = u"App";
  m.push_back(std::move(app));
  m.push_back(
      Member(u"GetProResStrings", K::kPropertyGet, {ByRef(u"lResId", T::kLong)}, T::kString,
             [](Object& s, CallFrame& f) { return VStr(Self(s).GetProResStrings(f.Long(0))); }));
  // The kind is the runtime's own picture-kind enumeration (LoadResConstants),
  // not one of the library's.
  m.push_back(
      Member(u"GetProResPicture", K::kPropertyGet,
             {ByRef(u"lResId", T::kLong), ByRef(u"lRestype", T::kLong, u"LoadResConstants")},
             T::kObject, [](Object& s, CallFrame& f) {
               return Variant::Object(Self(s).GetProResPicture(f.Long(0), f.Long(1)));
             }));
  m.push_back(
      Member(u"GetProResData", K::kPropertyGet,
             {ByRef(u"lResId", T::kLong), ByRef(u"vRestype", T::kVariant)}, T::kVariant,
             [](Object& s, CallFrame& f) { return Self(s).GetProResData(f.Long(0), f[1]); }));
  m.push_back(Member(u"About", K::kMethod, {}, T::kLong,
                     [](Object& s, CallFrame&) { return VLong(Self(s).About()); }));
  m.push_back(
      Member(u"BuddyObjectGlobal", K::kPropertyGet, {}, T::kObject,
             [](Object& s, CallFrame&) { return Variant::Object(Self(s).BuddyObjectGlobal()); }));
  m.push_back(Member(u"BuddyObjectGlobal", K::kPropertySet, {ByRef(u"vNewValue", T::kObject)},
                     T::kEmpty, [](Object& s, CallFrame& f) {
                       Self(s).set_BuddyObjectGlobal(f.Obj(0));
                       return Variant();
                     }));
  return m;
}

ClassInfo MemberLess(UString name, std::function<Ref<Object>()> factory) {
  ClassInfo info;
  info.name = std::move(name);
  info.instancing = Instancing::kCreatable;
  info.factory = std::move(factory);
  return info;
}

}  // namespace

void RegisterHostModule() {
  host_detail::RegisterErrorObjectClass();

  ClassInfo host;
  host.name = u"clsZqKeystrel10A";
  host.instancing = Instancing::kCreatable;
  host.members = HostMembers();
  host.factory = [] { return Ref<Object>(HostServices::Create()); };
  Catalogue& catalogue = Catalogue::Instance();
  catalogue.AddClass(std::move(host));
  catalogue.AddClass(
      MemberLess(u"clsZqRegyGeneralA", [] { return Ref<Object>(RegyGeneral::Create()); }));
  catalogue.AddClass(
      MemberLess(u"clsZqRegyAdvancedA", [] { return Ref<Object>(RegyAdvanced::Create()); }));
}

}  // namespace keystrel
