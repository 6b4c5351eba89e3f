#include "tools/conformance/case_runner.h"

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "frame/catalogue.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/events.h"
#include "frame/host.h"
#include "frame/safe_array.h"
#include "tools/conformance/client_objects.h"
#include "tools/conformance/expectations.h"
#include "tools/conformance/registry_fixture.h"
#include "tools/conformance/values.h"

namespace keystrel::conformance {
namespace {

// What a call did: an automation result or error, or (a fault of the
// library) some other C++ exception.
struct Outcome : CallOutcome {
  std::string escaped;  // what() of a non-automation exception
};

template <class F>
Outcome Attempt(F&& fn) {
  Outcome o;
  try {
    o.value = fn();
  } catch (const AutomationError& e) {
    o.raised = true;
    o.number = e.number();
    o.source = e.source();
    o.description = e.description();
  } catch (const std::exception& e) {
    o.escaped = e.what();
  }
  return o;
}

class CaseRun final : public CallLog, public Expectations {
 public:
  explicit CaseRun(const Case& c) : case_(c), link_(std::make_shared<CallLogLink>()) {
    link_->log = this;
  }
  ~CaseRun() override { Cleanup(); }

  std::optional<CaseFailure> Run(const StoreChoice& store);

  void OnClientCall(const UString& name, std::span<Arg> args) override;

 private:
  // Setup and teardown.
  void Prepare(const StoreChoice& store);
  void InstallHooks();
  void Cleanup();

  // Steps.
  void RunStep(const Step& s);
  void RunStepBody(const Step& s);
  void RunNew(const Step& s);
  void RunMemberCall(const Step& s);
  void RunValue(const Step& s);
  void RunForEach(const Step& s);
  void RunRelease(const Step& s);
  void RunSink(const Step& s);
  void RunLog(const Step& s);
  void RunReaction(const Step& r, std::span<Arg> args);
  void Finish(const Step& s, const Outcome& o);
  bool CheckOutcome(const Step& s, const Outcome& o);

  // Values.
  Variant& Slot(const std::string& name);
  void BuildArgs(const Step& s, std::vector<Arg>* args,
                 std::vector<std::shared_ptr<Variant>>* pins);
  const Variant* FindName(const std::string& name) const override;
  std::string NameOf(const Object* o) const override;
  bool DefaultMember(const Variant& object, Variant* value, std::string* fault) override;

  // Failures: only the first one counts.
  void Fail(const Step& s, std::string message) { FailAt(Where(s), std::move(message)); }
  void FailAt(std::string where, std::string message) {
    if (!failure_) failure_ = CaseFailure{std::move(where), Clip(std::move(message))};
  }
  // A step inside a reaction is shown after the top-level step whose call
  // triggered it: "step 4 (call p.Fire) > get p.Number at /cases/0/steps/2/do/0".
  std::string Where(const Step& s) const { return WhereAt(s.summary, s.pointer, &s); }
  std::string WhereAt(const std::string& summary, const std::string& pointer,
                      const Step* s = nullptr) const {
    std::string out = "step " + std::to_string(top_step_);
    if (top_ && top_ != s) return out + " (" + top_->summary + ") > " + summary + " at " + pointer;
    return out + " (" + summary + ") at " + pointer;
  }

  const Case& case_;
  std::shared_ptr<CallLogLink> link_;
  std::map<std::string, std::shared_ptr<Variant>> names_;
  CallBook calls_;
  std::vector<const Step*> reactions_;
  std::optional<CaseFailure> failure_;
  std::size_t top_step_ = 0;
  const Step* top_ = nullptr;
  int depth_ = 0;
  bool cleaned_ = false;
};

// ---------------------------------------------------------------------------
// Setup and teardown

std::optional<CaseFailure> CaseRun::Run(const StoreChoice& store) {
  Prepare(store);
  for (std::size_t i = 0; i < case_.steps.size() && !failure_; ++i) {
    top_step_ = i + 1;
    top_ = &case_.steps[i];
    RunStep(case_.steps[i]);
  }
  if (!failure_ && case_.registry_after) {
    if (std::optional<RegistryFault> f = CheckRegistry(*case_.registry_after)) {
      FailAt("registry_after at " + f->pointer,
             f->what + ": expected " + f->expected + ", actual " + f->actual);
    }
  }
  Cleanup();
  return failure_;
}

void CaseRun::Prepare(const StoreChoice& store) {
  // Old per-thread objects go first, while the store they may still touch
  // exists.
  ResetThreadState();
  if (std::int32_t rc = platform::UseLocalStore(store.kind, store.location); rc != 0) {
    FailAt("setup", "a fresh store: expected result 0, actual " + std::to_string(rc));
    return;
  }
  platform::ClearComputers();
  for (const auto& [name, registry] : case_.computers) {
    if (std::int32_t rc = platform::AddComputer(name, platform::StoreKind::kMemory); rc != 0) {
      FailAt("setup at " + case_.pointer + "/computers",
             "computer " + UToUtf8(name) + ": expected result 0, actual " + std::to_string(rc));
      return;
    }
    if (std::optional<RegistryFault> f = SeedRegistry(name, registry)) {
      FailAt("setup at " + f->pointer,
             f->what + ": expected " + f->expected + ", actual " + f->actual);
      return;
    }
  }
  platform::SetEnvironmentOverlay(case_.env);
  InstallHooks();
  if (std::optional<RegistryFault> f = SeedRegistry(u"", case_.registry)) {
    FailAt("setup at " + f->pointer,
           f->what + ": expected " + f->expected + ", actual " + f->actual);
  }
}

void CaseRun::InstallHooks() {
  std::weak_ptr<CallLogLink> link = link_;
  SetYieldHook([link] {
    if (auto l = link.lock(); l && l->log) l->log->OnClientCall(u"yield", {});
  });
  SetMessageBoxHook([link](const UString& prompt, std::int32_t style, const UString& title) {
    Arg args[] = {Arg::ByVal(Variant::String(prompt)), Arg::ByVal(Variant::Long(style)),
                  Arg::ByVal(Variant::String(title))};
    if (auto l = link.lock(); l && l->log) l->log->OnClientCall(u"msgbox", args);
    return std::int32_t{1};  // OK
  });
  for (const auto& [progid, name] : case_.progids) {
    RegisterThreadProgId(progid, [link, name = name] {
      return Ref<Object>(MakeRef<Recorder>(link, name, std::nullopt));
    });
  }
}

void CaseRun::Cleanup() {
  if (cleaned_) return;
  cleaned_ = true;
  // Client objects the library still holds go quiet first, so nothing logs
  // into a case that is ending.
  link_->log = nullptr;
  reactions_.clear();
  calls_.Take();
  std::map<std::string, std::shared_ptr<Variant>> names = std::move(names_);
  names_.clear();
  names.clear();
  ResetThreadState();
  platform::SetEnvironmentOverlay({});
  platform::ClearComputers();
}

// ---------------------------------------------------------------------------
// Names and values

const Variant* CaseRun::FindName(const std::string& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second.get();
}

Variant& CaseRun::Slot(const std::string& name) {
  std::shared_ptr<Variant>& slot = names_[name];
  if (!slot) slot = std::make_shared<Variant>();
  return *slot;
}

void CaseRun::BuildArgs(const Step& s, std::vector<Arg>* args,
                        std::vector<std::shared_ptr<Variant>>* pins) {
  for (const ValueSpec& a : s.args) {
    if (a.kind == ValueSpec::Kind::kVarRef) {
      // A variable not yet set is created Empty, as passing an undeclared
      // variable by reference does in a script. The pin keeps it alive even if
      // a reaction releases the name during the call.
      Slot(a.name);
      pins->push_back(names_[a.name]);
      args->push_back(Arg::ByRef(*pins->back()));
    } else if (a.kind == ValueSpec::Kind::kOmit) {
      args->push_back(Arg::Omitted());
    } else {
      args->push_back(Arg::ByVal(Eval(a)));
    }
  }
  if (s.value) args->push_back(Arg::ByVal(Eval(*s.value)));
}

std::string CaseRun::NameOf(const Object* o) const {
  for (const auto& [name, slot] : names_) {
    if (slot->is_object() && slot->object().get() == o) return name;
  }
  return std::string();
}

bool CaseRun::DefaultMember(const Variant& object, Variant* value, std::string* fault) {
  Outcome d = Attempt([&] { return DefaultValue(*object.object()); });
  if (d.raised || !d.escaped.empty()) {
    *fault = "raised " + (d.raised ? ErrorText(d) : d.escaped);
    return false;
  }
  *value = std::move(d.value);
  return true;
}

// ---------------------------------------------------------------------------
// Steps

void CaseRun::RunStep(const Step& s) {
  try {
    RunStepBody(s);
  } catch (const StepFault& f) {
    Fail(s, f.message);
  } catch (const std::exception& e) {
    // From the runner's own handling of a value (a conversion, an array
    // bound); the library's own calls are caught where they are made.
    Fail(s, std::string("unexpected exception: ") + e.what());
  }
}

void CaseRun::RunStepBody(const Step& s) {
  switch (s.kind) {
    case StepKind::kNew:
      RunNew(s);
      break;
    case StepKind::kDim:
      Slot(s.target) = Eval(*s.value);
      break;
    case StepKind::kGet:
    case StepKind::kLet:
    case StepKind::kSet:
    case StepKind::kCall:
      RunMemberCall(s);
      break;
    case StepKind::kValue:
      RunValue(s);
      break;
    case StepKind::kForEach:
      RunForEach(s);
      break;
    case StepKind::kRelease:
      RunRelease(s);
      break;
    case StepKind::kHandles: {
      const std::size_t open = platform::OpenHandleCount();
      if (static_cast<std::int64_t>(open) != s.handles) {
        Fail(s, "expected " + std::to_string(s.handles) + " open key handles, actual " +
                    std::to_string(open));
      }
      break;
    }
    case StepKind::kSink:
      RunSink(s);
      break;
    case StepKind::kRecorder:
      Slot(s.target) = Variant::Object(MakeRef<Recorder>(link_, Utf8ToU(s.target), s.methods));
      break;
    case StepKind::kOn:
      reactions_.push_back(&s);
      break;
    case StepKind::kLog:
      RunLog(s);
      break;
  }
}

void CaseRun::RunNew(const Step& s) {
  Outcome o = Attempt([&] {
    switch (s.create_by) {
      case CreateBy::kClass:
        return Variant::Object(CreateObjectByClass(s.create_what));
      case CreateBy::kProgId:
        return Variant::Object(CreateObjectByProgId(s.create_what));
      case CreateBy::kGlobal:
        break;
    }
    return Variant::Object(GlobalInstance(s.create_what));
  });
  if (!CheckOutcome(s, o)) return;
  if (!o.raised) Slot(s.target) = std::move(o.value);
}

void CaseRun::RunMemberCall(const Step& s) {
  std::vector<Arg> args;
  std::vector<std::shared_ptr<Variant>> pins;
  BuildArgs(s, &args, &pins);
  const std::uint16_t kind = s.kind == StepKind::kLet   ? kPropertyLet
                             : s.kind == StepKind::kSet ? kPropertySet
                                                        : (kMethod | kPropertyGet);
  // The case's name keeps the object; the call holds its own reference too,
  // so a reaction that releases the name mid-call does not end it under the
  // library's feet.
  const Variant target = Lookup(s.target);
  Outcome o = Attempt([&] {
    if (!target.is_object()) RaiseError(rt::kObjectRequired);
    if (!target.object()) RaiseError(rt::kObjectVariableNotSet);
    return InvokeByName(*target.object(), s.member, args, kind);
  });
  Finish(s, o);
}

void CaseRun::RunValue(const Step& s) {
  std::vector<Arg> args;
  std::vector<std::shared_ptr<Variant>> pins;
  BuildArgs(s, &args, &pins);
  const Variant target = Lookup(s.target);
  Outcome o = Attempt([&] {
    if (target.is_object()) {
      if (!target.object()) RaiseError(rt::kObjectVariableNotSet);
      if (args.empty()) return DefaultValue(*target.object());
      return target.object()->Invoke(kDispidValue, kMethod | kPropertyGet, args);
    }
    // Not an object: the value itself, or an element of an array.
    if (args.empty()) return target;
    if (!target.is_array()) RaiseError(rt::kTypeMismatch);
    if (args.size() != 1) RaiseError(rt::kSubscriptOutOfRange);
    return target.array().Get(ToLong(args[0].get()));
  });
  Finish(s, o);
}

void CaseRun::RunForEach(const Step& s) {
  std::vector<Variant> items;
  const Variant target = Lookup(s.target);
  Outcome o = Attempt([&] {
    if (target.is_object()) {
      if (!target.object()) RaiseError(rt::kObjectVariableNotSet);
      items = ForEachItems(*target.object());
    } else if (target.is_array()) {
      const SafeArray& a = target.array();
      for (std::int32_t i = 0; i < a.size(); ++i) items.push_back(a.Get(a.LBound() + i));
    } else {
      RaiseError(451);  // "Object not a collection"
    }
    return Variant();
  });
  if (!CheckOutcome(s, o) || o.raised) return;
  if (std::optional<std::string> fault = ItemsFault(s, items)) Fail(s, std::move(*fault));
}

void CaseRun::RunRelease(const Step& s) {
  auto it = names_.find(s.target);
  if (it == names_.end()) throw StepFault{"no object or variable named \"" + s.target + "\""};
  // Out of the map first: the object's end may run code that looks names up.
  std::shared_ptr<Variant> dropped = std::move(it->second);
  names_.erase(it);
  dropped.reset();
}

void CaseRun::RunSink(const Step& s) {
  const Variant target = Lookup(s.target);
  if (!target.is_object() || !target.object()) {
    throw StepFault{"\"" + s.target + "\" does not hold an object"};
  }
  EventSource* source = target.object()->event_source();
  if (!source) throw StepFault{"\"" + s.target + "\" raises no events"};
  source->Advise(MakeRef<EventSink>(link_, Utf8ToU(s.sink_name), source->interface_info()));
}

void CaseRun::RunLog(const Step& s) {
  const std::vector<LoggedCall> actual = calls_.Take();
  if (std::optional<std::string> fault = LogFault(s, actual)) Fail(s, std::move(*fault));
}

// Compares an outcome with the step's expectation; false when the step failed.
bool CaseRun::CheckOutcome(const Step& s, const Outcome& o) {
  if (failure_) return false;  // a reaction inside the call failed first
  if (!o.escaped.empty()) {
    Fail(s, "expected an automation result or error, actual C++ exception: " + o.escaped);
  } else if (std::optional<std::string> fault = OutcomeFault(s, o)) {
    Fail(s, std::move(*fault));
  }
  return !failure_;
}

void CaseRun::Finish(const Step& s, const Outcome& o) {
  if (!CheckOutcome(s, o)) return;
  if (std::optional<std::string> fault = ResultFault(s, o)) {
    Fail(s, std::move(*fault));
    return;
  }
  if (!s.as.empty() && !o.raised) Slot(s.as) = o.value;
}

// ---------------------------------------------------------------------------
// Callbacks

void CaseRun::OnClientCall(const UString& name, std::span<Arg> args) {
  // Nothing may escape into the library: it would see a foreign exception in
  // the middle of its own work.
  try {
    LoggedCall entry{name, {}};
    for (const Arg& a : args) entry.args.push_back(a.get());
    const std::int64_t nth = calls_.Add(std::move(entry));
    if (failure_) return;
    if (depth_ >= kMaxReactionDepth) {
      FailAt("step " + std::to_string(top_step_),
             "reactions nested deeper than " + std::to_string(kMaxReactionDepth));
      return;
    }
    const ReactionDepth depth(depth_);
    // Reactions added by this entry's own reactions wait for the next entry.
    const std::size_t count = reactions_.size();
    for (std::size_t i = 0; i < count && !failure_; ++i) {
      const Step& r = *reactions_[i];
      if (TextEquals(r.on_name, name) && (!r.nth || *r.nth == nth)) RunReaction(r, args);
    }
  } catch (...) {
    FailAt("step " + std::to_string(top_step_), "the runner failed inside a callback");
  }
}

void CaseRun::RunReaction(const Step& r, std::span<Arg> args) {
  for (const KeepSpec& k : r.keeps) {
    if (static_cast<std::size_t>(k.index) >= args.size()) {
      FailAt(WhereAt(r.summary, k.pointer), "keep: the call has " + std::to_string(args.size()) +
                                                " argument(s), no index " +
                                                std::to_string(k.index));
      return;
    }
    Slot(k.as) = args[static_cast<std::size_t>(k.index)].get();
  }
  for (const Step& step : r.do_steps) {
    RunStep(step);
    if (failure_) return;
  }
  for (const SetArgSpec& sa : r.setargs) {
    if (static_cast<std::size_t>(sa.index) >= args.size()) {
      FailAt(WhereAt(r.summary, sa.pointer), "setarg: the call has " + std::to_string(args.size()) +
                                                 " argument(s), no index " +
                                                 std::to_string(sa.index));
      return;
    }
    Variant v;
    try {
      v = Eval(sa.value);
    } catch (const StepFault& f) {
      FailAt(WhereAt(r.summary, sa.pointer), f.message);
      return;
    }
    // A by-value argument takes the assignment too, but only the callee's
    // copy changes, as in a script.
    args[static_cast<std::size_t>(sa.index)].get() = std::move(v);
  }
}

}  // namespace

std::optional<CaseFailure> RunCase(const Case& c, const StoreChoice& store) {
  // Steps catch what they meet; this is for the runner's own surprises (memory
  // exhaustion), which fail the case rather than end the run.
  try {
    CaseRun run(c);
    return run.Run(store);
  } catch (const std::exception& e) {
    return CaseFailure{"setup", std::string("the runner failed: ") + e.what()};
  }
}

}  // namespace keystrel::conformance
