// The running case of a generated vector script: what the script reports
// step by step (outcomes, names, items of a walk), what the harness's client
// objects hear (recorders, event sinks, the library's yield and message-box
// hooks), the reactions that run inside those callbacks, and the first
// difference from the vector, in the native runner's wording.
//
// One case per process: the script loads its vector file, begins a case,
// drives it and finishes it. Every comparison and message comes from
// conformance::Expectations, as in the native runner, so a case fails alike
// under both.
//
// Thread safety: the script's thread only (the library calls its hooks and
// client objects on that thread too).
#ifndef KEYSTREL_COM_HARNESS_SESSION_H_
#define KEYSTREL_COM_HARNESS_SESSION_H_

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "frame/variant.h"
#include "tools/conformance/expectations.h"
#include "tools/conformance/vector.h"

namespace keystrel::harness {

class Session : private conformance::Expectations {
 public:
  static Session& Get();

  // Faults of the script itself (no file, no such case) throw HarnessFault.
  void Load(const std::wstring& path);
  UString Begin(std::int64_t index);
  std::string Finish();  // "" when the case passed, else "WHERE: MESSAGE"

  // Everything else records a fault of the script as the case's failure.
  void Name(const std::string& name, Variant value);
  void Forget(const std::string& name);
  Variant Arg(const std::string& pointer);
  void Step(const std::string& pointer, std::int32_t number, UString source, UString description,
            Variant result);
  void Collect(Variant item);
  void Handles(const std::string& pointer);
  void Sink(const std::string& pointer);
  Variant Recorder(const std::string& pointer);
  void On(const std::string& pointer, IDispatch* reaction);
  Variant EntryArg(std::int64_t index);
  void CheckLog(const std::string& pointer);

  // A call on a client object made during case `generation` (objects of an
  // ended case stay quiet). `args` in call order, as the caller passed them.
  void OnClientCall(std::uint64_t generation, const UString& name, std::span<VARIANT*> args);
  std::uint64_t generation() const { return generation_; }
  bool active() const { return case_ != nullptr; }

 private:
  struct StepAt {
    const conformance::Step* step = nullptr;
    bool top = false;        // a step of the case itself, not inside a reaction
    std::size_t number = 0;  // 1-based, for top steps
  };
  struct Failure {
    std::string where;
    std::string message;
    // Inside a reaction the top step in progress is known only once the
    // script reports it; `inner` waits for it ("" names the top step alone).
    bool needs_top = false;
    std::string inner;
  };
  struct Reaction {
    const conformance::Step* step;
    IDispatch* run;
  };

  void Index(const conformance::Step& s, bool top, std::size_t number);
  void IndexValue(const conformance::ValueSpec& v);
  const StepAt& Find(const std::string& pointer);
  void Progress(const StepAt& at);
  void Cleanup();

  void Fail(const conformance::Step& s, std::string message);
  void AtStep(const std::string& pointer,
              const std::function<void(const conformance::Step&)>& check);
  void FailInside(std::string inner, std::string message);
  void FailAt(std::string where, std::string message);
  void ResolveTop(std::size_t number);

  Variant& Slot(const std::string& name);
  const Variant* FindName(const std::string& name) const override;
  std::string NameOf(const Object* o) const override;
  bool DefaultMember(const Variant& object, Variant* value, std::string* fault) override;
  Variant EvalOther(const conformance::ValueSpec& spec) override;

  using Outcome = conformance::CallOutcome;
  using LoggedCall = conformance::LoggedCall;
  bool CheckOutcome(const conformance::Step& s, const Outcome& o);
  void FinishMember(const conformance::Step& s, const Outcome& o);
  void FinishForEach(const conformance::Step& s, const Outcome& o);
  void RunReaction(const Reaction& r, std::span<VARIANT*> args);

  std::optional<conformance::VectorFile> file_;
  std::map<std::string, StepAt> steps_;
  std::map<std::string, const conformance::ValueSpec*> values_;

  const conformance::Case* case_ = nullptr;
  std::uint64_t generation_ = 0;
  std::int64_t baseline_ = 0;
  std::size_t last_top_ = 0;  // the last top step the script reported
  std::map<std::string, Variant> names_;
  conformance::CallBook calls_;
  std::vector<Reaction> reactions_;
  std::vector<DWORD> class_objects_;
  std::vector<Variant> collected_;
  std::vector<std::span<VARIANT*>> entries_;  // the calls being reacted to, innermost last
  std::vector<const Reaction*> reacting_;
  std::optional<Failure> failure_;
  int depth_ = 0;
};

}  // namespace keystrel::harness

#endif  // KEYSTREL_COM_HARNESS_SESSION_H_
