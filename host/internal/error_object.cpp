#include "host/internal/error_object.h"

#include <atomic>
#include <utility>

#include "frame/catalogue.h"
#include "frame/convert.h"

namespace keystrel::host_detail {

namespace {

ErrorObject& Self(Object& self) { return static_cast<ErrorObject&>(self); }

MemberInfo Get(UString name, VarType type, MemberFn fn, std::int32_t dispid = kAutoDispid) {
  MemberInfo m;
  m.name = std::move(name);
  m.kind = MemberKind::kPropertyGet;
  m.result = type;
  m.fn = std::move(fn);
  m.dispid = dispid;
  return m;
}

MemberInfo Let(UString name, VarType type, MemberFn fn) {
  MemberInfo m;
  m.name = std::move(name);
  m.kind = MemberKind::kPropertyLet;
  ParamInfo value;
  value.name = u"Value";
  value.type = type;
  m.params = {std::move(value)};
  m.fn = std::move(fn);
  return m;
}

ParamInfo OptionalVariant(UString name) {
  ParamInfo p;
  p.name = std::move(name);
  p.optional = true;
  return p;
}

}  // namespace

Ref<ErrorObject> ErrorObject::Create(const AutomationError& error) {
  Ref<ErrorObject> obj = Create();
  obj->number_ = error.number();
  obj->source_ = error.source();
  obj->description_ = error.description();
  return obj;
}

Ref<ErrorObject> ErrorObject::Create() { return MakeRef<ErrorObject>(); }

const ClassInfo* ErrorObject::class_info() const noexcept {
  // Looked up once the module is registered; a miss before that is not kept.
  static std::atomic<const ClassInfo*> cached{nullptr};
  const ClassInfo* info = cached.load(std::memory_order_acquire);
  if (info == nullptr) {
    info = Catalogue::Instance().FindClass(kErrorObjectClass);
    cached.store(info, std::memory_order_release);
  }
  return info;
}

void ErrorObject::Clear() noexcept {
  number_ = 0;
  source_.clear();
  description_.clear();
  help_file_.clear();
  help_context_ = 0;
}

void ErrorObject::Raise(std::int32_t number, const Variant& source, const Variant& description,
                        const Variant& help_file, const Variant& help_context) {
  // Every argument is converted before anything is stored, so a bad one
  // leaves the object as it was.
  UString new_source = source.is_missing() ? source_ : ToText(source);
  UString new_description = description.is_missing() ? description_ : ToText(description);
  UString new_help_file = help_file.is_missing() ? help_file_ : ToText(help_file);
  const std::int32_t new_help_context =
      help_context.is_missing() ? help_context_ : ToLong(help_context);
  if (new_source.empty()) new_source = kRuntimeErrorSource;
  if (new_description.empty()) new_description = StandardErrorText(number);

  number_ = number;
  source_ = new_source;
  description_ = new_description;
  help_file_ = std::move(new_help_file);
  help_context_ = new_help_context;
  throw AutomationError(number, std::move(new_source), std::move(new_description));
}

void RegisterErrorObjectClass() {
  ClassInfo cls;
  cls.name = kErrorObjectClass;
  cls.instancing = Instancing::kRuntime;

  MemberInfo raise;
  raise.name = u"Raise";
  raise.kind = MemberKind::kMethod;
  ParamInfo number;
  number.name = u"Number";
  number.type = VarType::kLong;
  raise.params = {number, OptionalVariant(u"Source"), OptionalVariant(u"Description"),
                  OptionalVariant(u"HelpFile"), OptionalVariant(u"HelpContext")};
  raise.fn = [](Object& s, CallFrame& f) -> Variant {
    Self(s).Raise(f.Long(0), f[1], f[2], f[3], f[4]);
  };

  MemberInfo clear;
  clear.name = u"Clear";
  clear.kind = MemberKind::kMethod;
  clear.fn = [](Object& s, CallFrame&) {
    Self(s).Clear();
    return Variant();
  };

  cls.members = {
      // Number is the default member, so the object applied as a value gives
      // the error number.
      Get(
          u"Number", VarType::kLong, [](Object& s, CallFrame&) { return VLong(Self(s).Number()); },
          kDispidValue),
      Let(u"Number", VarType::kLong,
          [](Object& s, CallFrame& f) {
            Self(s).set_Number(f.Long(0));
            return Variant();
          }),
      Get(u"Source", VarType::kString,
          [](Object& s, CallFrame&) { return VStr(Self(s).Source()); }),
      Let(u"Source", VarType::kString,
          [](Object& s, CallFrame& f) {
            Self(s).set_Source(f.String(0));
            return Variant();
          }),
      Get(u"Description", VarType::kString,
          [](Object& s, CallFrame&) { return VStr(Self(s).Description()); }),
      Let(u"Description", VarType::kString,
          [](Object& s, CallFrame& f) {
            Self(s).set_Description(f.String(0));
            return Variant();
          }),
      Get(u"HelpFile", VarType::kString,
          [](Object& s, CallFrame&) { return VStr(Self(s).HelpFile()); }),
      Let(u"HelpFile", VarType::kString,
          [](Object& s, CallFrame& f) {
            Self(s).set_HelpFile(f.String(0));
            return Variant();
          }),
      Get(u"HelpContext", VarType::kLong,
          [](Object& s, CallFrame&) { return VLong(Self(s).HelpContext()); }),
      Let(u"HelpContext", VarType::kLong,
          [](Object& s, CallFrame& f) {
            Self(s).set_HelpContext(f.Long(0));
            return Variant();
          }),
      std::move(raise),
      std::move(clear),
  };
  Catalogue::Instance().AddClass(std::move(cls));
}

}  // namespace keystrel::host_detail
