// The catalogue entry of clsZqRegyHandlerD: its members in slot order and its
// event interface. Every parameter of the seven operations is passed by
// reference, as the class declares them.
#include <atomic>
#include <mutex>

#include "frame/catalogue.h"
#include "handler_d/handler_d.h"

namespace keystrel {
namespace {

constexpr char16_t kClassName[] = u"clsZqRegyHandlerD";

HandlerD& Self(Object& self) { return static_cast<HandlerD&>(self); }

ParamInfo ByRef(UString name, VarType type, UString enum_name = {}) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.by_ref = true;
  p.enum_name = std::move(enum_name);
  return p;
}

ParamInfo OptionalByRef(UString name, VarType type, Variant default_value,
                        UString enum_name = {}) {
  ParamInfo p = ByRef(std::move(name), type, std::move(enum_name));
  p.optional = true;
  p.default_value = std::move(default_value);
  return p;
}

ParamInfo RootKey() { return ByRef(u"lngKey", VarType::kLong, u"hKey"); }
ParamInfo Text(UString name) { return ByRef(std::move(name), VarType::kString); }

MemberInfo Getter(UString name, VarType result, MemberFn fn) {
  MemberInfo m;
  m.name = std::move(name);
  m.kind = MemberKind::kPropertyGet;
  m.result = result;
  m.fn = std::move(fn);
  return m;
}

std::vector<MemberInfo> Members() {
  std::vector<MemberInfo> m;
  m.push_back(Getter(u"ErrorSource", VarType::kString, [](Object& self, CallFrame&) {
    return Variant::String(Self(self).ErrorSource());
  }));
  m.push_back(Getter(u"ErrorDescription", VarType::kString, [](Object& self, CallFrame&) {
    return Variant::String(Self(self).ErrorDescription());
  }));
  m.push_back(Getter(u"ErrorNumber", VarType::kLong, [](Object& self, CallFrame&) {
    return Variant::Long(Self(self).ErrorNumber());
  }));
  m.push_back(Getter(u"ErrorExist", VarType::kBoolean, [](Object& self, CallFrame&) {
    return Variant::Boolean(Self(self).ErrorExist());
  }));
  m.push_back(Method(u"Delete_Key", {RootKey(), Text(u"sKeyName")}, VarType::kBoolean,
                     [](Object& self, CallFrame& f) {
                       return Variant::Boolean(Self(self).Delete_Key(f.Long(0), f[1].string()));
                     }));
  m.push_back(Method(u"Delete_Value", {RootKey(), Text(u"sKeyName"), Text(u"sValueName")},
                     VarType::kBoolean, [](Object& self, CallFrame& f) {
                       return Variant::Boolean(
                           Self(self).Delete_Value(f.Long(0), f[1].string(), f[2].string()));
                     }));
  m.push_back(Method(u"Set_Key", {RootKey(), Text(u"sNewKeyName")}, VarType::kBoolean,
                     [](Object& self, CallFrame& f) {
                       return Variant::Boolean(Self(self).Set_Key(f.Long(0), f[1].string()));
                     }));
  m.push_back(Method(u"Set_Value",
                     {RootKey(), Text(u"sKeyName"), Text(u"sValueName"),
                      ByRef(u"vValueSetting", VarType::kVariant),
                      ByRef(u"lValueType", VarType::kLong, u"Reg_Value")},
                     VarType::kBoolean, [](Object& self, CallFrame& f) {
                       return Variant::Boolean(Self(self).Set_Value(
                           f.Long(0), f[1].string(), f[2].string(), f[3], f.Long(4)));
                     }));
  m.push_back(Method(u"Query_Value",
                     {RootKey(), Text(u"sKeyName"), Text(u"sValueName"),
                      OptionalByRef(u"sDefault", VarType::kString, Variant::String({})),
                      OptionalByRef(u"ResultType", VarType::kLong,
                                    Variant::Long(HandlerD::kStringResult), u"Reg_Result")},
                     VarType::kVariant, [](Object& self, CallFrame& f) {
                       return Self(self).Query_Value(f.Long(0), f[1].string(), f[2].string(),
                                                     f.String(3), f.Long(4));
                     }));
  m.push_back(Method(u"Query_Key", {RootKey(), Text(u"sKeyName")}, VarType::kBoolean,
                     [](Object& self, CallFrame& f) {
                       return Variant::Boolean(Self(self).Query_Key(f.Long(0), f[1].string()));
                     }));
  m.push_back(Method(u"EnumKeys", {RootKey(), Text(u"sKeyName")},
                     VarType::kArray | VarType::kString, [](Object& self, CallFrame& f) {
                       return Variant::Array(Self(self).EnumKeys(f.Long(0), f[1].string()));
                     }));
  return m;
}

}  // namespace

std::shared_ptr<const EventInterfaceInfo> HandlerDEventInterface() {
  static const std::shared_ptr<const EventInterfaceInfo> iface = [] {
    EventInfo error_occurred;
    error_occurred.name = u"ErrorOccurred";
    error_occurred.dispid = HandlerD::kErrorOccurredEvent;
    error_occurred.params = {ByRef(u"Number", VarType::kLong), ByRef(u"Source", VarType::kString),
                             ByRef(u"Description", VarType::kString)};
    auto info = std::make_shared<EventInterfaceInfo>();
    info->name = u"__clsZqRegyHandlerD";
    info->events.push_back(std::move(error_occurred));
    return std::shared_ptr<const EventInterfaceInfo>(std::move(info));
  }();
  return iface;
}

const ClassInfo* HandlerD::class_info() const noexcept {
  // Cached once found; the module registers its class only once, so the
  // entry never moves.
  static std::atomic<const ClassInfo*> cached{nullptr};
  const ClassInfo* info = cached.load(std::memory_order_acquire);
  if (info == nullptr) {
    info = Catalogue::Instance().FindClass(kClassName);
    if (info != nullptr) cached.store(info, std::memory_order_release);
  }
  return info;
}

void RegisterHandlerDModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    ClassInfo info;
    info.name = kClassName;
    info.instancing = Instancing::kCreatable;
    info.members = Members();
    info.events = HandlerDEventInterface();
    info.factory = [] { return Ref<Object>(HandlerD::Create()); };
    Catalogue::Instance().AddClass(std::move(info));
  });
}

}  // namespace keystrel
