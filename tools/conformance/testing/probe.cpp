#include "tools/conformance/testing/probe.h"

#include <map>
#include <mutex>
#include <vector>

#include "frame/catalogue.h"
#include "frame/collection.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/events.h"
#include "frame/host.h"
#include "frame/safe_array.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel::conformance::testing {
namespace {

namespace p = platform;

constexpr char16_t kProbe[] = u"clsZqTestProbe";
constexpr char16_t kItem[] = u"clsZqTestProbeItem";
constexpr std::int32_t kTick = 1;
constexpr std::int32_t kDone = 2;

const ClassInfo* Lookup(const char16_t* name) { return Catalogue::Instance().FindClass(name); }

[[noreturn]] void RaiseRegistry(std::int32_t rc) {
  RaiseError(rc, kProbe, u"registry result " + Utf8ToU(std::to_string(rc)));
}

class KeyGuard {
 public:
  KeyGuard() = default;
  ~KeyGuard() {
    if (key_) p::RegCloseKey(key_);
  }
  KeyGuard(const KeyGuard&) = delete;
  KeyGuard& operator=(const KeyGuard&) = delete;
  p::HKEY* out() { return &key_; }
  p::HKEY get() const { return key_; }

 private:
  p::HKEY key_ = nullptr;
};

class ProbeItem final : public Object {
 public:
  explicit ProbeItem(UString text) : text_(std::move(text)) {}
  const ClassInfo* class_info() const noexcept override { return Lookup(kItem); }
  const UString& text() const { return text_; }

 private:
  UString text_;
};

std::shared_ptr<const EventInterfaceInfo> ProbeEvents();

class Probe final : public Object {
 public:
  Probe() : events_(ProbeEvents()) {}
  ~Probe() override { LetGo(); }

  const ClassInfo* class_info() const noexcept override { return Lookup(kProbe); }
  EventSource* event_source() noexcept override { return &events_; }

  UString name_;
  std::int32_t number_ = 0;
  Ref<Object> buddy_;
  bool stop_ = false;
  std::map<std::int32_t, Variant> cells_;

  Variant Fire(std::int32_t count) {
    // Held for the whole walk: a sink may release the last client reference.
    Ref<Probe> self(this);
    std::vector<Variant> answers;
    std::int32_t steps = 0;
    for (std::int32_t i = 1; i <= count; ++i) {
      Variant answer;
      Arg args[] = {Arg::ByVal(Variant::Long(i)), Arg::ByRef(answer)};
      Deliver(kTick, u"Probe_Tick", args);
      answers.push_back(answer);
      ++steps;
      if (stop_) {
        stop_ = false;
        break;
      }
    }
    Arg done[] = {Arg::ByVal(Variant::Long(steps))};
    Deliver(kDone, u"Probe_Done", done);
    return Variant::Array(SafeArray::Variants(std::move(answers)));
  }

  std::int32_t Hold(std::int32_t root, const UString& path) {
    p::HKEY h = nullptr;
    const std::string sub = p::ToAnsi(path);
    std::int32_t rc = p::RegOpenKeyExA(p::HKeyFromLong(root), sub.c_str(), 0, p::KEY_READ, &h);
    if (rc == 0) held_.push_back(h);
    return rc;
  }

  void LetGo() {
    for (p::HKEY h : held_) p::RegCloseKey(h);
    held_.clear();
  }

 private:
  void Deliver(std::int32_t event, const char16_t* buddy_method, std::span<Arg> args) {
    if (buddy_) {
      InvokeByName(*buddy_, buddy_method, args, kMethod);
    } else {
      events_.Raise(event, args);
    }
  }

  EventSource events_;
  std::vector<p::HKEY> held_;
};

Probe& Self(Object& o) { return static_cast<Probe&>(o); }

std::shared_ptr<const EventInterfaceInfo> ProbeEvents() {
  static const std::shared_ptr<const EventInterfaceInfo> iface = [] {
    auto info = std::make_shared<EventInterfaceInfo>();
    info->name = u"__clsZqTestProbe";
    ParamInfo index{u"Index", VarType::kLong};
    ParamInfo answer{u"Answer", VarType::kVariant, true};
    info->events.push_back(EventInfo{u"Tick", kTick, {index, answer}});
    info->events.push_back(EventInfo{u"Done", kDone, {ParamInfo{u"Steps", VarType::kLong}}});
    return std::shared_ptr<const EventInterfaceInfo>(std::move(info));
  }();
  return iface;
}

ParamInfo In(UString name, VarType type) { return ParamInfo{std::move(name), type}; }
ParamInfo ByRefParam(UString name, VarType type) { return ParamInfo{std::move(name), type, true}; }
ParamInfo Opt(UString name, VarType type, std::optional<Variant> dflt = std::nullopt) {
  ParamInfo p{std::move(name), type, false, true};
  p.default_value = std::move(dflt);
  return p;
}

MemberInfo M(UString name, MemberKind kind, std::vector<ParamInfo> params, VarType result,
             MemberFn fn, std::int32_t dispid = kAutoDispid) {
  MemberInfo m;
  m.name = std::move(name);
  m.kind = kind;
  m.params = std::move(params);
  m.result = result;
  m.fn = std::move(fn);
  m.dispid = dispid;
  return m;
}

Variant ReadFrom(p::HKEY key, const UString& name, Variant* type_out) {
  const std::string ansi = p::ToAnsi(name);
  p::DWORD type = 0, size = 0;
  std::int32_t rc = p::RegQueryValueExA(key, ansi.c_str(), nullptr, &type, nullptr, &size);
  std::vector<std::uint8_t> data(size);
  if (rc == 0) rc = p::RegQueryValueExA(key, ansi.c_str(), nullptr, &type, data.data(), &size);
  if (rc != 0) RaiseRegistry(rc);
  data.resize(size);
  if (type_out) *type_out = Variant::Long(static_cast<std::int32_t>(type));
  if ((type == p::REG_SZ || type == p::REG_EXPAND_SZ) && !data.empty() && data.back() == 0) {
    return Variant::String(p::FromAnsi(std::string(data.begin(), data.end() - 1)));
  }
  if (type == p::REG_DWORD && data.size() == 4) {
    return Variant::Long(static_cast<std::int32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                                   static_cast<std::uint32_t>(data[3]) << 24));
  }
  return Variant::Array(SafeArray::Bytes(data));
}

Variant ReadValue(CallFrame& f) {
  KeyGuard key;
  const std::string sub = p::ToAnsi(f.String(1));
  std::int32_t rc =
      p::RegOpenKeyExA(p::HKeyFromLong(f.Long(0)), sub.c_str(), 0, p::KEY_QUERY_VALUE, key.out());
  if (rc != 0) RaiseRegistry(rc);
  return ReadFrom(key.get(), f.String(2), f.omitted(3) ? nullptr : &f[3]);
}

Variant WriteValue(CallFrame& f) {
  const Variant& data = f[3];
  std::uint32_t type = p::REG_BINARY;
  std::vector<std::uint8_t> bytes;
  if (data.is_string()) {
    type = p::REG_SZ;
    std::string ansi = p::ToAnsi(data.string());
    bytes.assign(ansi.begin(), ansi.end());
    bytes.push_back(0);
  } else if (data.is_array()) {
    bytes = ToBytes(data);
  } else {
    type = p::REG_DWORD;
    std::uint32_t d = static_cast<std::uint32_t>(ToLong(data));
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(d >> (8 * i)));
  }
  KeyGuard key;
  const std::string sub = p::ToAnsi(f.String(1));
  std::int32_t rc = p::RegCreateKeyExA(p::HKeyFromLong(f.Long(0)), sub.c_str(), 0, nullptr, 0,
                                       p::KEY_SET_VALUE, nullptr, key.out(), nullptr);
  const std::string name = p::ToAnsi(f.String(2));
  if (rc == 0) {
    rc = p::RegSetValueExA(key.get(), name.c_str(), 0, type, bytes.data(),
                           static_cast<p::DWORD>(bytes.size()));
  }
  if (rc != 0) RaiseRegistry(rc);
  return Variant();
}

Variant RemoteRead(CallFrame& f) {
  KeyGuard remote, key;
  const std::string computer = p::ToAnsi(f.String(0));
  std::int32_t rc = p::RegConnectRegistryA(computer.c_str(), p::HKEY_LOCAL_MACHINE, remote.out());
  if (rc != 0) RaiseRegistry(rc);
  const std::string sub = p::ToAnsi(f.String(1));
  rc = p::RegOpenKeyExA(remote.get(), sub.c_str(), 0, p::KEY_QUERY_VALUE, key.out());
  if (rc != 0) RaiseRegistry(rc);
  return ReadFrom(key.get(), f.String(2), nullptr);
}

Variant Expand(CallFrame& f) {
  const std::string src = p::ToAnsi(f.String(0));
  std::vector<char> out(32768);
  p::DWORD n =
      p::ExpandEnvironmentStringsA(src.c_str(), out.data(), static_cast<p::DWORD>(out.size()));
  if (n == 0 || n > out.size()) RaiseError(rt::kInvalidProcedureCall);
  return Variant::String(p::FromAnsi(std::string(out.data(), n - 1)));
}

void AddProperties(std::vector<MemberInfo>& m) {
  m.push_back(M(
      u"Name", MemberKind::kPropertyGet, {}, VarType::kString,
      [](Object& s, CallFrame&) { return Variant::String(Self(s).name_); }, kDispidValue));
  m.push_back(M(
      u"Name", MemberKind::kPropertyLet, {In(u"value", VarType::kString)}, VarType::kEmpty,
      [](Object& s, CallFrame& f) {
        Self(s).name_ = f.String(0);
        return Variant();
      },
      kDispidValue));
  m.push_back(M(u"Number", MemberKind::kPropertyGet, {}, VarType::kLong,
                [](Object& s, CallFrame&) { return Variant::Long(Self(s).number_); }));
  m.push_back(M(u"Number", MemberKind::kPropertyLet, {In(u"value", VarType::kLong)},
                VarType::kEmpty, [](Object& s, CallFrame& f) {
                  Self(s).number_ = f.Long(0);
                  return Variant();
                }));
  m.push_back(M(u"Buddy", MemberKind::kPropertyGet, {}, VarType::kObject,
                [](Object& s, CallFrame&) { return Variant::Object(Self(s).buddy_); }));
  m.push_back(M(u"Buddy", MemberKind::kPropertySet, {In(u"value", VarType::kObject)},
                VarType::kEmpty, [](Object& s, CallFrame& f) {
                  Self(s).buddy_ = f.Obj(0);
                  return Variant();
                }));
  m.push_back(M(u"Stop", MemberKind::kPropertyGet, {}, VarType::kBoolean,
                [](Object& s, CallFrame&) { return Variant::Boolean(Self(s).stop_); }));
  m.push_back(M(u"Stop", MemberKind::kPropertyLet, {In(u"value", VarType::kBoolean)},
                VarType::kEmpty, [](Object& s, CallFrame& f) {
                  Self(s).stop_ = f.Bool(0);
                  return Variant();
                }));
  m.push_back(M(u"Cell", MemberKind::kPropertyGet, {In(u"Index", VarType::kLong)},
                VarType::kVariant, [](Object& s, CallFrame& f) {
                  auto it = Self(s).cells_.find(f.Long(0));
                  return it == Self(s).cells_.end() ? Variant() : it->second;
                }));
  m.push_back(M(u"Cell", MemberKind::kPropertyLet,
                {In(u"Index", VarType::kLong), In(u"value", VarType::kVariant)}, VarType::kEmpty,
                [](Object& s, CallFrame& f) {
                  Self(s).cells_[f.Long(0)] = f[1];
                  return Variant();
                }));
}

void AddValueMethods(std::vector<MemberInfo>& m) {
  m.push_back(Method(u"Echo", {In(u"Value", VarType::kVariant)}, VarType::kVariant,
                     [](Object&, CallFrame& f) { return f[0]; }));
  m.push_back(
      Method(u"Kind", {In(u"Value", VarType::kVariant)}, VarType::kString,
             [](Object&, CallFrame& f) { return Variant::String(TypeNameOf(f[0].type())); }));
  m.push_back(Method(u"Swap",
                     {ByRefParam(u"A", VarType::kVariant), ByRefParam(u"B", VarType::kVariant)},
                     VarType::kEmpty, [](Object&, CallFrame& f) {
                       std::swap(f[0], f[1]);
                       return Variant();
                     }));
  m.push_back(Method(u"Bump", {ByRefParam(u"N", VarType::kLong)}, VarType::kEmpty,
                     [](Object&, CallFrame& f) {
                       f[0] = Variant::Long(f.Long(0) + 1);
                       return Variant();
                     }));
  m.push_back(Method(u"Describe",
                     {Opt(u"V", VarType::kVariant), Opt(u"S", VarType::kString, Variant(u"dflt"))},
                     VarType::kString, [](Object&, CallFrame& f) {
                       UString kind = f[0].is_missing() ? u"missing" : TypeNameOf(f[0].type());
                       return Variant::String(kind + u"/" + f.String(1));
                     }));
  m.push_back(Method(u"Fail",
                     {In(u"Number", VarType::kLong), Opt(u"Source", VarType::kString),
                      Opt(u"Description", VarType::kString)},
                     VarType::kEmpty, [](Object&, CallFrame& f) -> Variant {
                       RaiseError(f.Long(0), f.String(1), f.String(2));
                     }));
  m.push_back(
      Method(u"Items", {In(u"Count", VarType::kLong)}, VarType::kObject, [](Object&, CallFrame& f) {
        Ref<Collection> c = Collection::Create();
        for (std::int32_t i = 1; i <= f.Long(0); ++i) {
          const UString n = Utf8ToU(std::to_string(i));
          c->Add(Variant::String(u"item" + n), Variant::String(u"k" + n));
        }
        return Variant::Object(c);
      }));
  m.back().result_class = u"Collection";
  m.push_back(Method(
      u"Child", {In(u"Text", VarType::kString)}, VarType::kObject,
      [](Object&, CallFrame& f) { return Variant::Object(MakeRef<ProbeItem>(f.String(0))); }));
  m.back().result_class = kItem;
}

void AddCallbackMethods(std::vector<MemberInfo>& m) {
  m.push_back(Method(u"Fire", {In(u"Count", VarType::kLong)}, VarType::kArray | VarType::kVariant,
                     [](Object& s, CallFrame& f) { return Self(s).Fire(f.Long(0)); }));
  m.push_back(
      Method(u"Wait", {In(u"Times", VarType::kLong)}, VarType::kEmpty, [](Object&, CallFrame& f) {
        for (std::int32_t i = 0; i < f.Long(0); ++i) DoEvents();
        return Variant();
      }));
  m.push_back(Method(u"Alert",
                     {In(u"Prompt", VarType::kString), Opt(u"Style", VarType::kLong),
                      Opt(u"Title", VarType::kString, Variant(u"Probe"))},
                     VarType::kLong, [](Object&, CallFrame& f) {
                       return Variant::Long(ShowMessageBox(f.String(0), f.Long(1), f.String(2)));
                     }));
  m.push_back(Method(u"Make", {In(u"ProgId", VarType::kString)}, VarType::kObject,
                     [](Object&, CallFrame& f) {
                       Ref<Object> o = CreateObjectByProgId(f.String(0));
                       CallByName(*o, u"Hello", {Variant(u"probe")}, kMethod);
                       return Variant::Object(o);
                     }));
}

void AddRegistryMethods(std::vector<MemberInfo>& m) {
  m.push_back(Method(
      u"Hold", {In(u"Root", VarType::kLong), In(u"Path", VarType::kString)}, VarType::kLong,
      [](Object& s, CallFrame& f) { return Variant::Long(Self(s).Hold(f.Long(0), f.String(1))); }));
  m.push_back(Method(u"LetGo", {}, VarType::kEmpty, [](Object& s, CallFrame&) {
    Self(s).LetGo();
    return Variant();
  }));
  m.push_back(Method(
      u"ReadValue",
      {In(u"Root", VarType::kLong), In(u"Path", VarType::kString), In(u"Name", VarType::kString),
       ParamInfo{u"ValueType", VarType::kVariant, true, true}},
      VarType::kVariant, [](Object&, CallFrame& f) { return ReadValue(f); }));
  m.push_back(Method(u"WriteValue",
                     {In(u"Root", VarType::kLong), In(u"Path", VarType::kString),
                      In(u"Name", VarType::kString), In(u"Data", VarType::kVariant)},
                     VarType::kEmpty, [](Object&, CallFrame& f) { return WriteValue(f); }));
  m.push_back(Method(u"DeleteKey", {In(u"Root", VarType::kLong), In(u"Path", VarType::kString)},
                     VarType::kLong, [](Object&, CallFrame& f) {
                       const std::string sub = p::ToAnsi(f.String(1));
                       return Variant::Long(
                           p::RegDeleteKeyA(p::HKeyFromLong(f.Long(0)), sub.c_str()));
                     }));
  m.push_back(Method(u"RemoteRead",
                     {In(u"Computer", VarType::kString), In(u"Path", VarType::kString),
                      In(u"Name", VarType::kString)},
                     VarType::kVariant, [](Object&, CallFrame& f) { return RemoteRead(f); }));
  m.push_back(Method(u"Expand", {In(u"Text", VarType::kString)}, VarType::kString,
                     [](Object&, CallFrame& f) { return Expand(f); }));
}

}  // namespace

void RegisterProbeClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    ClassInfo item;
    item.name = kItem;
    item.instancing = Instancing::kNotCreatable;
    item.members.push_back(M(
        u"Text", MemberKind::kPropertyGet, {}, VarType::kString,
        [](Object& s, CallFrame&) { return Variant::String(static_cast<ProbeItem&>(s).text()); },
        kDispidValue));
    Catalogue::Instance().AddClass(std::move(item));

    ClassInfo probe;
    probe.name = kProbe;
    probe.instancing = Instancing::kGlobal;
    AddProperties(probe.members);
    AddValueMethods(probe.members);
    AddCallbackMethods(probe.members);
    AddRegistryMethods(probe.members);
    probe.events = ProbeEvents();
    probe.factory = [] { return Ref<Object>(MakeRef<Probe>()); };
    Catalogue::Instance().AddClass(std::move(probe));
  });
}

}  // namespace keystrel::conformance::testing
