#include "com/harness/session.h"

#include <dispex.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "com/harness/com_values.h"
#include "com/harness/dispatch_object.h"
#include "com/harness/handle_count.h"
#include "com/harness/harness_objects.h"
#include "com/harness/registry_seed.h"
#include "frame/error.h"
#include "frame/safe_array.h"
#include "tools/conformance/values.h"
#include "tools/conformance/vector_parser.h"

namespace keystrel::harness {
namespace {

using conformance::Case;
using conformance::StepKind;
using conformance::ValueSpec;
namespace cf = conformance;

using conformance::Clip;
using conformance::ErrorText;
using conformance::kMaxReactionDepth;
using conformance::ReactionDepth;
using conformance::StepFault;
constexpr wchar_t kHooksProgId[] = L"Keystrel10Test.HostHooks";

// The default source interface of a library object: its identifier and
// event names by dispatch identifier. False when it raises no events.
bool EventsOf(IDispatch* dispatch, IID* iid, std::map<DISPID, UString>* names) {
  IProvideClassInfo* provide = nullptr;
  if (FAILED(dispatch->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&provide)))) {
    return false;
  }
  ITypeInfo* coclass = nullptr;
  HRESULT hr = provide->GetClassInfo(&coclass);
  provide->Release();
  if (FAILED(hr) || !coclass) return false;
  bool found = false;
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(coclass->GetTypeAttr(&attr))) {
    for (UINT i = 0; i < attr->cImplTypes && !found; ++i) {
      INT flags = 0;
      if (FAILED(coclass->GetImplTypeFlags(i, &flags)) ||
          (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) !=
              (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) {
        continue;
      }
      HREFTYPE ref = 0;
      ITypeInfo* events = nullptr;
      if (FAILED(coclass->GetRefTypeOfImplType(i, &ref)) ||
          FAILED(coclass->GetRefTypeInfo(ref, &events))) {
        continue;
      }
      TYPEATTR* event_attr = nullptr;
      if (SUCCEEDED(events->GetTypeAttr(&event_attr))) {
        *iid = event_attr->guid;
        for (UINT f = 0; f < event_attr->cFuncs; ++f) {
          FUNCDESC* desc = nullptr;
          if (FAILED(events->GetFuncDesc(f, &desc))) continue;
          BSTR name = nullptr;
          if (SUCCEEDED(events->GetDocumentation(desc->memid, &name, nullptr, nullptr, nullptr)) &&
              name) {
            (*names)[desc->memid] = FromWide(name, SysStringLen(name));
          }
          SysFreeString(name);
          events->ReleaseFuncDesc(desc);
        }
        events->ReleaseTypeAttr(event_attr);
        found = true;
      }
      events->Release();
    }
    coclass->ReleaseTypeAttr(attr);
  }
  coclass->Release();
  return found;
}

// A script class instance names its methods through IDispatchEx only. (The
// identifier is spelled out: mingw's uuid library lacks it.)
constexpr IID kIidDispatchEx = {
    0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};

DISPID IdOf(IDispatch* dispatch, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  IDispatchEx* ex = nullptr;
  if (SUCCEEDED(dispatch->QueryInterface(kIidDispatchEx, reinterpret_cast<void**>(&ex)))) {
    BSTR b = SysAllocString(name);
    HRESULT hr = ex->GetDispID(b, fdexNameCaseInsensitive, &id);
    SysFreeString(b);
    ex->Release();
    if (SUCCEEDED(hr)) return id;
  }
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
    return DISPID_UNKNOWN;
  }
  return id;
}

void RegisterProgIdKey(const UString& progid, const CLSID& clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  HKEY key = nullptr;
  const std::wstring path = ToWide(progid) + L"\\CLSID";
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) == 0) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
}

}  // namespace

Session& Session::Get() {
  static auto* session = new Session();  // lives as long as the process
  return *session;
}

// ---------------------------------------------------------------------------
// The file and the case

void Session::Load(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) throw HarnessFault{L"cannot read " + path};
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  cf::VectorError error;
  std::optional<cf::VectorFile> file = cf::ParseVectorText(text, &error);
  if (!file) {
    const std::string m = "at " + error.pointer + ": " + error.message;
    throw HarnessFault{ToWide(Utf8ToU(m))};
  }
  Cleanup();
  file_ = std::move(file);
  steps_.clear();
  values_.clear();
  for (const Case& c : file_->cases) {
    for (std::size_t i = 0; i < c.steps.size(); ++i) Index(c.steps[i], true, i + 1);
  }
}

void Session::Index(const cf::Step& s, bool top, std::size_t number) {
  steps_[s.pointer] = StepAt{&s, top, number};
  for (const ValueSpec& a : s.args) IndexValue(a);
  if (s.value) IndexValue(*s.value);
  for (const cf::SetArgSpec& sa : s.setargs) IndexValue(sa.value);
  for (const cf::Step& d : s.do_steps) Index(d, false, 0);
}

void Session::IndexValue(const ValueSpec& v) {
  values_[v.pointer] = &v;
  for (const ValueSpec& item : v.items) IndexValue(item);
}

UString Session::Begin(std::int64_t index) {
  if (!file_) throw HarnessFault{L"Begin before Load"};
  if (index < 0 || static_cast<std::size_t>(index) >= file_->cases.size()) {
    throw HarnessFault{L"no case " + std::to_wstring(index)};
  }
  Cleanup();
  // A recorder's key left by an earlier process (or case) would stand where
  // this case expects no class, so every identifier the file registers
  // starts absent or as this case registers it.
  for (const Case& c : file_->cases) {
    for (const auto& entry : c.progids) RemoveStaleProgIdKey(ToWide(entry.first).c_str());
  }
  case_ = &file_->cases[static_cast<std::size_t>(index)];
  ++generation_;
  for (const auto& [name, value] : case_->env) {
    SetEnvironmentVariableW(ToWide(name).c_str(), ToWide(value).c_str());
  }
  for (const auto& [progid, name] : case_->progids) {
    CLSID clsid;
    CoCreateGuid(&clsid);
    IClassFactory* factory = NewRecorderFactory(generation_, name);
    DWORD cookie = 0;
    if (SUCCEEDED(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie))) {
      class_objects_.push_back(cookie);
      RegisterProgIdKey(progid, clsid);
    } else {
      FailAt("setup at " + case_->pointer + "/progids", "cannot register " + UToUtf8(progid));
    }
    factory->Release();
  }
  if (std::optional<RegistryFault> f = harness::SeedRegistry(case_->registry)) {
    FailAt("setup at " + f->pointer, f->what + ": expected " + f->expected + ", actual " + f->actual);
  }
  SetEnvironmentVariableW(L"KEYSTREL_HOST_HOOKS", kHooksProgId);
  TouchPredefinedRoots();
  baseline_ = OpenKeyHandles();
  return Utf8ToU(case_->name);
}

std::string Session::Finish() {
  if (!case_) return "setup: no case begun";
  if (failure_ && failure_->needs_top) {
    // Nothing reported the step in progress since: the one after the last.
    ResolveTop(std::min(last_top_ + 1, case_->steps.size()));
  }
  if (!failure_ && case_->registry_after) {
    if (std::optional<RegistryFault> f = harness::CheckRegistry(*case_->registry_after)) {
      FailAt("registry_after at " + f->pointer,
             f->what + ": expected " + f->expected + ", actual " + f->actual);
    }
  }
  std::string out = failure_ ? failure_->where + ": " + failure_->message : std::string();
  Cleanup();
  return out;
}

void Session::Cleanup() {
  // Client objects the library still holds go quiet first.
  ++generation_;
  case_ = nullptr;
  for (DWORD cookie : class_objects_) CoRevokeClassObject(cookie);
  class_objects_.clear();
  std::vector<Reaction> reactions = std::move(reactions_);
  reactions_.clear();
  for (const Reaction& r : reactions) r.run->Release();
  std::map<std::string, Variant> names = std::move(names_);
  names_.clear();
  names.clear();
  calls_.Clear();
  collected_.clear();
  failure_.reset();
  last_top_ = 0;
  depth_ = 0;
}

// ---------------------------------------------------------------------------
// Failures: only the first counts.

void Session::FailAt(std::string where, std::string message) {
  if (!failure_) failure_ = Failure{std::move(where), Clip(std::move(message)), false, {}};
}

void Session::FailInside(std::string inner, std::string message) {
  if (!failure_) failure_ = Failure{{}, Clip(std::move(message)), true, std::move(inner)};
}

void Session::Fail(const cf::Step& s, std::string message) {
  const StepAt& at = Find(s.pointer);
  if (at.top) {
    FailAt("step " + std::to_string(at.number) + " (" + s.summary + ") at " + s.pointer,
           std::move(message));
  } else {
    FailInside(s.summary + " at " + s.pointer, std::move(message));
  }
}

void Session::ResolveTop(std::size_t number) {
  if (!failure_ || !failure_->needs_top || !case_) return;
  failure_->needs_top = false;
  std::string where = "step " + std::to_string(number);
  if (number >= 1 && number <= case_->steps.size() && !failure_->inner.empty()) {
    where += " (" + case_->steps[number - 1].summary + ") > " + failure_->inner;
  }
  failure_->where = std::move(where);
}

const Session::StepAt& Session::Find(const std::string& pointer) {
  auto it = steps_.find(pointer);
  if (it == steps_.end()) throw StepFault{"no step at " + pointer};
  return it->second;
}

void Session::Progress(const StepAt& at) {
  if (!at.top) return;
  ResolveTop(at.number);
  last_top_ = at.number;
}

// ---------------------------------------------------------------------------
// Names and values

const Variant* Session::FindName(const std::string& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : &it->second;
}

Variant& Session::Slot(const std::string& name) { return names_[name]; }

// A script passes a by-reference name as its current value, and an omitted
// argument as Missing.
Variant Session::EvalOther(const ValueSpec& spec) {
  if (spec.kind == ValueSpec::Kind::kVarRef) return Lookup(spec.name);
  if (spec.kind == ValueSpec::Kind::kOmit) return Variant::Missing();
  return Expectations::EvalOther(spec);
}

std::string Session::NameOf(const Object* o) const {
  for (const auto& [name, slot] : names_) {
    if (slot.is_object() && slot.object().get() == o) return name;
  }
  return std::string();
}

bool Session::DefaultMember(const Variant& object, Variant* value, std::string* fault) {
  auto* ref = dynamic_cast<ComRef*>(object.object().get());
  VARIANT result;
  VariantInit(&result);
  CallError error;
  if (!ref || !InvokeDispatch(ref->dispatch(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                              nullptr, 0, &result, &error)) {
    *fault = "raised " + ErrorText(error.number, error.source, error.description);
    return false;
  }
  try {
    *value = FromCom(result);
  } catch (const AutomationError& e) {
    VariantClear(&result);
    *fault = std::string("gave a value the harness cannot read: ") + e.what();
    return false;
  }
  VariantClear(&result);
  return true;
}

// ---------------------------------------------------------------------------
// What the script reports

void Session::Name(const std::string& name, Variant value) {
  if (!case_) return;
  Slot(name) = std::move(value);
}

void Session::Forget(const std::string& name) {
  if (!case_) return;
  auto it = names_.find(name);
  if (it == names_.end()) {
    FailAt("release", "no object or variable named \"" + name + "\"");
    return;
  }
  // Out of the map first: the object's end may run code that looks names up.
  Variant dropped = std::move(it->second);
  names_.erase(it);
}

Variant Session::Arg(const std::string& pointer) {
  if (!case_) return Variant();
  auto it = values_.find(pointer);
  if (it == values_.end()) {
    FailAt("harness", "no value at " + pointer);
    return Variant();
  }
  try {
    return Eval(*it->second);
  } catch (const StepFault& f) {
    // The value belongs to the step whose pointer it extends.
    std::string owner = pointer;
    while (!owner.empty() && steps_.find(owner) == steps_.end()) owner.resize(owner.rfind('/'));
    if (owner.empty()) {
      FailAt("harness at " + pointer, f.message);
    } else {
      Fail(*steps_[owner].step, f.message);
    }
    return Variant();
  }
}

void Session::Collect(Variant item) {
  if (case_) collected_.push_back(std::move(item));
}

// Checks what the script reports for the step at `pointer`. A fault of the
// vector fails that step; one met before the step is known is the harness's.
void Session::AtStep(const std::string& pointer,
                     const std::function<void(const cf::Step&)>& check) {
  const cf::Step* s = nullptr;
  try {
    const StepAt& at = Find(pointer);
    s = at.step;
    Progress(at);
    check(*s);
  } catch (const StepFault& f) {
    if (s) {
      Fail(*s, f.message);
    } else {
      FailAt("harness", f.message);
    }
  }
}

void Session::Step(const std::string& pointer, std::int32_t number, UString source,
                   UString description, Variant result) {
  if (!case_) return;
  std::vector<Variant> items = std::move(collected_);
  collected_.clear();
  AtStep(pointer, [&](const cf::Step& s) {
    Outcome o{number != 0, std::move(result), number, std::move(source), std::move(description)};
    switch (s.kind) {
      case StepKind::kNew:
        CheckOutcome(s, o);
        break;
      case StepKind::kGet:
      case StepKind::kLet:
      case StepKind::kSet:
      case StepKind::kCall:
      case StepKind::kValue:
        FinishMember(s, o);
        break;
      case StepKind::kForEach:
        collected_ = std::move(items);
        FinishForEach(s, o);
        collected_.clear();
        break;
      default:
        throw StepFault{"the script reported an outcome for a step that has none"};
    }
  });
}

bool Session::CheckOutcome(const cf::Step& s, const Outcome& o) {
  if (failure_) return false;  // a reaction inside the call failed first
  if (std::optional<std::string> fault = OutcomeFault(s, o)) Fail(s, std::move(*fault));
  return !failure_;
}

void Session::FinishMember(const cf::Step& s, const Outcome& o) {
  if (!CheckOutcome(s, o)) return;
  if (std::optional<std::string> fault = ResultFault(s, o)) Fail(s, std::move(*fault));
}

void Session::FinishForEach(const cf::Step& s, const Outcome& o) {
  if (!CheckOutcome(s, o) || o.raised) return;
  if (std::optional<std::string> fault = ItemsFault(s, collected_)) Fail(s, std::move(*fault));
}

void Session::Handles(const std::string& pointer) {
  if (!case_) return;
  try {
    const StepAt& at = Find(pointer);
    Progress(at);
    const std::int64_t open = OpenKeyHandles();
    if (open < 0) throw StepFault{"the system gave no handle count"};
    if (open - baseline_ != at.step->handles) {
      Fail(*at.step, "expected " + std::to_string(at.step->handles) +
                         " open key handles, actual " + std::to_string(open - baseline_));
    }
  } catch (const StepFault& f) {
    FailAt("harness at " + pointer, f.message);
  }
}

void Session::Sink(const std::string& pointer) {
  if (!case_) return;
  AtStep(pointer, [&](const cf::Step& s) {
    const Variant target = Lookup(s.target);
    auto* ref = target.is_object() ? dynamic_cast<ComRef*>(target.object().get()) : nullptr;
    if (!ref) throw StepFault{"\"" + s.target + "\" does not hold an object"};
    IID iid;
    std::map<DISPID, UString> events;
    IConnectionPointContainer* container = nullptr;
    if (!EventsOf(ref->dispatch(), &iid, &events) ||
        FAILED(ref->dispatch()->QueryInterface(IID_IConnectionPointContainer,
                                               reinterpret_cast<void**>(&container)))) {
      throw StepFault{"\"" + s.target + "\" raises no events"};
    }
    IConnectionPoint* point = nullptr;
    HRESULT hr = container->FindConnectionPoint(iid, &point);
    container->Release();
    if (FAILED(hr)) throw StepFault{"\"" + s.target + "\" has no connection point for its events"};
    IDispatch* sink = NewEventSink(generation_, Utf8ToU(s.sink_name), iid, std::move(events));
    DWORD cookie = 0;
    hr = point->Advise(sink, &cookie);
    sink->Release();
    if (FAILED(hr)) {
      point->Release();
      throw StepFault{"Advise failed with " + std::to_string(ErrorNumberOf(hr))};
    }
    // The point holds its object: keeping it would keep the object alive
    // after the case released it, and a release is something cases check.
    // The sink stays connected until the object goes; it falls silent when
    // the case ends (its generation).
    point->Release();
  });
}

Variant Session::Recorder(const std::string& pointer) {
  if (!case_) return Variant::Nothing();
  try {
    const StepAt& at = Find(pointer);
    Progress(at);
    IDispatch* recorder = NewRecorder(generation_, Utf8ToU(at.step->target), at.step->methods);
    Variant v = Variant::Object(ComRef::For(recorder));
    recorder->Release();
    Slot(at.step->target) = v;
    return v;
  } catch (const StepFault& f) {
    FailAt("harness", f.message);
    return Variant::Nothing();
  }
}

void Session::On(const std::string& pointer, IDispatch* reaction) {
  if (!case_) return;
  try {
    const StepAt& at = Find(pointer);
    Progress(at);
    if (at.step->kind != StepKind::kOn) throw StepFault{pointer + " is not an \"on\" step"};
    if (!reaction) throw StepFault{"no reaction object for " + pointer};
    reaction->AddRef();
    reactions_.push_back(Reaction{at.step, reaction});
  } catch (const StepFault& f) {
    FailAt("harness", f.message);
  }
}

void Session::CheckLog(const std::string& pointer) {
  if (!case_) return;
  AtStep(pointer, [&](const cf::Step& s) {
    const std::vector<LoggedCall> actual = calls_.Take();
    if (std::optional<std::string> fault = LogFault(s, actual)) Fail(s, std::move(*fault));
  });
}

// ---------------------------------------------------------------------------
// Callbacks

void Session::OnClientCall(std::uint64_t generation, const UString& name,
                           std::span<VARIANT*> args) {
  if (!case_ || generation != generation_) return;
  // Nothing may escape into the library: it would see a foreign failure in
  // the middle of its own work.
  try {
    LoggedCall entry{name, {}};
    for (VARIANT* a : args) entry.args.push_back(FromCom(*a));
    const std::int64_t nth = calls_.Add(std::move(entry));
    if (failure_) return;
    if (depth_ >= kMaxReactionDepth) {
      FailInside("", "reactions nested deeper than " + std::to_string(kMaxReactionDepth));
      return;
    }
    const ReactionDepth depth(depth_);
    // Reactions added by this entry's own reactions wait for the next entry.
    const std::size_t count = reactions_.size();
    for (std::size_t i = 0; i < count && !failure_ && generation == generation_; ++i) {
      const Reaction r = reactions_[i];
      if (TextEquals(r.step->on_name, name) && (!r.step->nth || *r.step->nth == nth)) {
        r.run->AddRef();  // the case may end inside Run
        RunReaction(r, args);
        r.run->Release();
      }
    }
  } catch (const AutomationError& e) {
    FailInside("", std::string("the harness cannot read a callback's argument: ") + e.what());
  } catch (const StepFault& f) {
    FailInside("", f.message);
  } catch (...) {
    FailInside("", "the runner failed inside a callback");
  }
}

void Session::RunReaction(const Reaction& r, std::span<VARIANT*> args) {
  const std::uint64_t generation = generation_;
  entries_.push_back(args);
  reacting_.push_back(&r);
  const DISPID run = IdOf(r.run, L"Run");
  CallError error;
  VARIANT result;
  VariantInit(&result);
  const bool ran = run != DISPID_UNKNOWN &&
                   InvokeDispatch(r.run, run, DISPATCH_METHOD, nullptr, 0, &result, &error);
  VariantClear(&result);
  entries_.pop_back();
  reacting_.pop_back();
  if (generation != generation_) return;  // the case ended inside Run
  if (!ran) {
    FailInside(r.step->summary + " at " + r.step->pointer,
               run == DISPID_UNKNOWN ? std::string("the reaction has no Run method")
                                     : "the reaction's Run raised " +
                                           ErrorText(error.number, error.source, error.description));
    return;
  }
  if (failure_) return;
  for (const cf::SetArgSpec& sa : r.step->setargs) {
    if (static_cast<std::size_t>(sa.index) >= args.size()) {
      FailInside(r.step->summary + " at " + sa.pointer,
                 "setarg: the call has " + std::to_string(args.size()) +
                     " argument(s), no index " + std::to_string(sa.index));
      return;
    }
    try {
      WriteBack(Eval(sa.value), *args[static_cast<std::size_t>(sa.index)]);
    } catch (const StepFault& f) {
      FailInside(r.step->summary + " at " + sa.pointer, f.message);
      return;
    } catch (const AutomationError& e) {
      FailInside(r.step->summary + " at " + sa.pointer,
                 std::string("setarg: the argument cannot take the value: ") + e.what());
      return;
    }
  }
}

Variant Session::EntryArg(std::int64_t index) {
  if (!case_ || entries_.empty()) {
    FailAt("harness", "EntryArg outside a reaction");
    return Variant();
  }
  const std::span<VARIANT*> args = entries_.back();
  const Reaction& r = *reacting_.back();
  if (index < 0 || static_cast<std::size_t>(index) >= args.size()) {
    std::string pointer = r.step->pointer;
    for (const cf::KeepSpec& k : r.step->keeps) {
      if (k.index == index) pointer = k.pointer;
    }
    FailInside(r.step->summary + " at " + pointer,
               "keep: the call has " + std::to_string(args.size()) + " argument(s), no index " +
                   std::to_string(index));
    return Variant();
  }
  try {
    return FromCom(*args[static_cast<std::size_t>(index)]);
  } catch (const AutomationError& e) {
    FailInside(r.step->summary + " at " + r.step->pointer,
               std::string("keep: the harness cannot read the argument: ") + e.what());
    return Variant();
  }
}

}  // namespace keystrel::harness
