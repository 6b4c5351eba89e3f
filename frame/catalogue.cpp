#include "frame/catalogue.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "frame/convert.h"
#include "frame/error.h"
#include "frame/host.h"
#include "frame/safe_array.h"

namespace keystrel {

namespace {

// Automatic identifiers live in the range the runtime gives to members of a
// class's own interface, so they never collide with 0, -4 or negative system
// identifiers.
constexpr std::int32_t kAutoDispidBase = 0x60030000;

// A property's get/let/set share one identifier: an explicit one given on any
// of them wins, otherwise the slot of the first of them decides.
void AssignDispids(std::vector<MemberInfo>& members) {
  std::vector<std::int32_t> declared;
  declared.reserve(members.size());
  for (const MemberInfo& m : members) declared.push_back(m.dispid);
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (declared[i] != kAutoDispid) continue;
    std::int32_t id = kAutoDispid;
    std::size_t first = i;
    for (std::size_t j = 0; j < members.size(); ++j) {
      if (!TextEquals(members[j].name, members[i].name)) continue;
      first = std::min(first, j);
      if (declared[j] != kAutoDispid) {
        id = declared[j];
        break;
      }
    }
    members[i].dispid =
        id != kAutoDispid ? id : kAutoDispidBase + static_cast<std::int32_t>(first);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Lookups on the descriptive records.

const EventInfo* EventInterfaceInfo::FindEvent(std::int32_t dispid) const {
  for (const EventInfo& e : events) {
    if (e.dispid == dispid) return &e;
  }
  return nullptr;
}

const EventInfo* EventInterfaceInfo::FindEvent(UStringView event_name) const {
  for (const EventInfo& e : events) {
    if (TextEquals(e.name, event_name)) return &e;
  }
  return nullptr;
}

UString ClassInfo::progid() const { return u"Keystrel10." + name; }

const MemberInfo* ClassInfo::FindMember(std::int32_t dispid, MemberKind kind) const {
  for (const MemberInfo& m : members) {
    if (m.dispid == dispid && m.kind == kind) return &m;
  }
  return nullptr;
}

std::int32_t ClassInfo::IdOfName(UStringView member_name) const {
  for (const MemberInfo& m : members) {
    if (TextEquals(m.name, member_name)) return m.dispid;
  }
  return kDispidUnknown;
}

// ---------------------------------------------------------------------------
// The catalogue. Entries are heap records that are replaced in place, so a
// ClassInfo pointer a class cached stays valid when a test re-registers it.
// Registration is meant for start-up, but runtime classes register lazily on
// first use, so a reader/writer lock keeps late registration safe.

struct Catalogue::State {
  mutable std::shared_mutex mu;
  std::vector<std::unique_ptr<ClassInfo>> classes;
  std::map<UString, ClassInfo*, TextLess> class_by_name;
  std::vector<std::unique_ptr<EnumInfo>> enums;
  std::map<UString, EnumInfo*, TextLess> enum_by_name;
};

Catalogue::Catalogue() : state_(std::make_unique<State>()) {}

Catalogue& Catalogue::Instance() {
  // Never destroyed: objects that end during static destruction may still
  // ask for their class.
  static Catalogue& instance = *new Catalogue();
  return instance;
}

void Catalogue::AddClass(ClassInfo info) {
  AssignDispids(info.members);
  const bool creatable =
      info.instancing == Instancing::kCreatable || info.instancing == Instancing::kGlobal;
  UString progid = info.progid();
  UString name = info.name;
  {
    std::unique_lock lock(state_->mu);
    auto it = state_->class_by_name.find(name);
    if (it != state_->class_by_name.end()) {
      *it->second = std::move(info);
    } else {
      state_->classes.push_back(std::make_unique<ClassInfo>(std::move(info)));
      state_->class_by_name.emplace(name, state_->classes.back().get());
    }
  }
  // The registration looks the class up at creation time, so a replaced or
  // no longer creatable class answers as it is now.
  if (creatable) {
    RegisterProgId(std::move(progid), [name] { return CreateObjectByClass(name); });
  }
}

void Catalogue::AddEnum(EnumInfo info) {
  std::unique_lock lock(state_->mu);
  auto it = state_->enum_by_name.find(info.name);
  if (it != state_->enum_by_name.end()) {
    *it->second = std::move(info);
    return;
  }
  UString name = info.name;
  state_->enums.push_back(std::make_unique<EnumInfo>(std::move(info)));
  state_->enum_by_name.emplace(std::move(name), state_->enums.back().get());
}

const ClassInfo* Catalogue::FindClass(UStringView name) const {
  std::shared_lock lock(state_->mu);
  auto it = state_->class_by_name.find(name);
  return it == state_->class_by_name.end() ? nullptr : it->second;
}

const EnumInfo* Catalogue::FindEnum(UStringView name) const {
  std::shared_lock lock(state_->mu);
  auto it = state_->enum_by_name.find(name);
  return it == state_->enum_by_name.end() ? nullptr : it->second;
}

std::vector<const ClassInfo*> Catalogue::Classes() const {
  std::shared_lock lock(state_->mu);
  std::vector<const ClassInfo*> out;
  out.reserve(state_->classes.size());
  for (const auto& c : state_->classes) out.push_back(c.get());
  return out;
}

std::vector<const EnumInfo*> Catalogue::Enums() const {
  std::shared_lock lock(state_->mu);
  std::vector<const EnumInfo*> out;
  out.reserve(state_->enums.size());
  for (const auto& e : state_->enums) out.push_back(e.get());
  return out;
}

// ---------------------------------------------------------------------------
// Argument binding.

namespace {

// Picks the member a call of `kind` reaches. Property assignment needs a let
// or set member of its own: like the runtime's type-driven dispatch, a let
// does not fall back to a set member or the other way round.
const MemberInfo* SelectMember(const ClassInfo& cls, std::int32_t dispid, std::uint16_t kind,
                               std::span<Arg> args) {
  const MemberInfo* by_kind[4] = {nullptr, nullptr, nullptr, nullptr};
  for (const MemberInfo& m : cls.members) {
    if (m.dispid != dispid) continue;
    by_kind[static_cast<int>(m.kind)] = &m;
  }
  const MemberInfo* method = by_kind[static_cast<int>(MemberKind::kMethod)];
  const MemberInfo* get = by_kind[static_cast<int>(MemberKind::kPropertyGet)];
  const MemberInfo* let = by_kind[static_cast<int>(MemberKind::kPropertyLet)];
  const MemberInfo* set = by_kind[static_cast<int>(MemberKind::kPropertySet)];
  if (kind & (kPropertyLet | kPropertySet)) {
    if (!(kind & kPropertyLet)) let = nullptr;
    if (!(kind & kPropertySet)) set = nullptr;
    // A client that offers both (DISPATCH_PROPERTYPUT | PUTREF) gets the set
    // for an object value and the let otherwise.
    if (let && set) {
      const bool object_value = !args.empty() && args.back().get().is_object();
      return object_value ? set : let;
    }
    return let ? let : set;
  }
  if ((kind & kMethod) && method) return method;
  if ((kind & kPropertyGet) && get) return get;
  return nullptr;
}

// The coerced parameters of one call. Typed by-reference parameters work on a
// local copy that goes back into the caller's variable when the member
// returns or raises; `Arm` marks the moment the member has been entered.
class BoundCall {
 public:
  explicit BoundCall(std::size_t n) : locals_(n), slots_(n, nullptr), omitted_(n, false),
                                      write_back_(n, nullptr) {}
  BoundCall(const BoundCall&) = delete;
  BoundCall& operator=(const BoundCall&) = delete;
  ~BoundCall() {
    if (!armed_) return;
    for (std::size_t i = 0; i < locals_.size(); ++i) {
      if (write_back_[i]) *write_back_[i] = std::move(locals_[i]);
    }
  }

  void Bind(std::size_t i, const ParamInfo& p, Arg* arg);
  void Arm() { armed_ = true; }
  CallFrame Frame() const { return CallFrame(slots_, omitted_); }

 private:
  void BindAbsent(std::size_t i, const ParamInfo& p);

  std::vector<Variant> locals_;
  std::vector<Variant*> slots_;
  std::vector<bool> omitted_;
  std::vector<Variant*> write_back_;
  bool armed_ = false;
};

void BoundCall::BindAbsent(std::size_t i, const ParamInfo& p) {
  if (!p.optional) RaiseError(rt::kArgumentNotOptional);
  omitted_[i] = true;
  slots_[i] = &locals_[i];
  Variant& v = locals_[i];
  if (p.type == VarType::kVariant) {
    v = p.default_value ? *p.default_value : Variant::Missing();
  } else if (p.type == VarType::kObject) {
    v = p.default_value ? *p.default_value : Variant::Nothing();
  } else if (IsArrayType(p.type)) {
    v = Variant::Array(SafeArray(ElementType(p.type)));
  } else {
    v = ChangeType(p.default_value ? *p.default_value : Variant(), p.type);
  }
}

void BoundCall::Bind(std::size_t i, const ParamInfo& p, Arg* arg) {
  // A by-value missing marker is how COM clients omit an argument, so it
  // counts as omitted for optional parameters; a required Variant parameter
  // still receives it as a value.
  if (!arg || arg->omitted || (!arg->ref && arg->value.is_missing() && p.optional)) {
    BindAbsent(i, p);
    return;
  }
  Variant& src = arg->get();
  if (p.type == VarType::kVariant) {
    if (p.by_ref && arg->ref) {
      slots_[i] = arg->ref;
    } else {
      locals_[i] = src;
      slots_[i] = &locals_[i];
    }
    return;
  }
  if (IsArrayType(p.type)) {
    if (!src.is_array() || src.array().element_type() != ElementType(p.type)) {
      RaiseError(rt::kTypeMismatch);
    }
    // Arrays travel by reference: the member sees the caller's array.
    if (arg->ref) {
      slots_[i] = arg->ref;
    } else {
      locals_[i] = src;
      slots_[i] = &locals_[i];
    }
    return;
  }
  if (p.type == VarType::kObject) {
    if (!src.is_object()) RaiseError(rt::kTypeMismatch);
    locals_[i] = src;
  } else {
    locals_[i] = ChangeType(src, p.type);
  }
  slots_[i] = &locals_[i];
  if (p.by_ref && arg->ref) write_back_[i] = arg->ref;
}

bool IsAssignment(const MemberInfo& m) {
  return m.kind == MemberKind::kPropertyLet || m.kind == MemberKind::kPropertySet;
}

Variant CallBound(Object& self, const MemberInfo& m, std::span<Arg> args) {
  const std::size_t n = m.params.size();
  BoundCall call(n);
  if (IsAssignment(m)) {
    // The assigned value is the last argument and binds to the last
    // parameter; the arguments before it are the property's indexes.
    if (args.empty() || n == 0 || args.size() > n) RaiseError(rt::kWrongArgumentCount);
    const std::size_t indexes = args.size() - 1;
    for (std::size_t i = 0; i + 1 < n; ++i) {
      if (i >= indexes && !m.params[i].optional) RaiseError(rt::kWrongArgumentCount);
      call.Bind(i, m.params[i], i < indexes ? &args[i] : nullptr);
    }
    call.Bind(n - 1, m.params[n - 1], &args.back());
  } else {
    if (args.size() > n) RaiseError(rt::kWrongArgumentCount);
    for (std::size_t i = 0; i < n; ++i) {
      if (i >= args.size() && !m.params[i].optional) RaiseError(rt::kWrongArgumentCount);
      call.Bind(i, m.params[i], i < args.size() ? &args[i] : nullptr);
    }
  }
  if (!m.fn) RaiseError(rt::kMemberNotFound);
  CallFrame frame = call.Frame();
  call.Arm();
  Variant result = m.fn(self, frame);
  if (m.result == VarType::kEmpty) return Variant();
  return result;
}

// `x.Prop(args)` where Prop takes no parameters: the runtime evaluates Prop
// and applies the arguments to what it returned, which is how scripts index a
// collection or an array a property hands out.
Variant ApplyToResult(Object& self, const MemberInfo& m, std::span<Arg> args) {
  const bool may_hold_target = m.result == VarType::kObject || m.result == VarType::kVariant ||
                               IsArrayType(m.result);
  if (!may_hold_target) RaiseError(rt::kWrongArgumentCount);
  Variant target = CallBound(self, m, {});
  if (target.is_object()) {
    Ref<Object> obj = target.object();
    if (!obj) RaiseError(rt::kObjectVariableNotSet);
    return obj->Invoke(kDispidValue, kMethod | kPropertyGet, args);
  }
  if (target.is_array()) {
    // One-dimensional arrays take exactly one subscript.
    if (args.size() != 1 || args[0].omitted) RaiseError(rt::kSubscriptOutOfRange);
    return target.array().Get(ToLong(args[0].get()));
  }
  RaiseError(rt::kWrongArgumentCount);
}

}  // namespace

Variant InvokeMember(Object& self, const ClassInfo& cls, std::int32_t dispid, std::uint16_t kind,
                     std::span<Arg> args) {
  const MemberInfo* m = SelectMember(cls, dispid, kind, args);
  if (!m) RaiseError(rt::kMemberNotFound);
  if (!IsAssignment(*m) && m->params.empty() && !args.empty()) {
    return ApplyToResult(self, *m, args);
  }
  return CallBound(self, *m, args);
}

MemberInfo Member(UString name, MemberKind kind, std::vector<ParamInfo> params, VarType result,
                  MemberFn fn) {
  MemberInfo m;
  m.name = std::move(name);
  m.kind = kind;
  m.params = std::move(params);
  m.result = result;
  m.fn = std::move(fn);
  return m;
}

MemberInfo Method(UString name, std::vector<ParamInfo> params, VarType result, MemberFn fn) {
  return Member(std::move(name), MemberKind::kMethod, std::move(params), result, std::move(fn));
}

}  // namespace keystrel
