// What a case expects of a call, a walk or the log, and the wording of a
// difference. Both runners of the vectors judge through this one class, so a
// case fails alike in-process and through the COM harness; each runner says
// only what differs between them: where its names live and how an object's
// default member is read.
//
// Thread safety: one case at a time; the runner's own thread.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_EXPECTATIONS_H_
#define KEYSTREL_TOOLS_CONFORMANCE_EXPECTATIONS_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "frame/object.h"
#include "frame/ustring.h"
#include "frame/variant.h"
#include "tools/conformance/vector.h"

namespace keystrel::conformance {

// Reactions that run steps which log again can recurse; a vector that loops
// for ever fails instead of exhausting the stack.
inline constexpr int kMaxReactionDepth = 32;
// Messages stay readable even when a value is a large array.
inline constexpr std::size_t kMaxShown = 2000;

// A fault of the vector met while running (an unknown name, a value that
// cannot be built): fails the step. Deliberately not a std::exception, so the
// handlers that catch the library's exceptions let it through.
struct StepFault {
  std::string message;
};

// What a call did: a result or an automation error.
struct CallOutcome {
  bool raised = false;
  Variant value;
  std::int32_t number = 0;
  UString source;
  UString description;
};

// A call on a client object (recorder, event sink, hook), as the log holds it.
struct LoggedCall {
  UString name;
  std::vector<Variant> args;
};

// The calls client objects heard: the entries since the last log check, and
// per name (upper-cased) how many the case has seen, so a reaction can pick
// the nth.
class CallBook {
 public:
  // Records a call; its ordinal among the case's calls of that name.
  std::int64_t Add(LoggedCall entry);
  // The entries since the last Take.
  std::vector<LoggedCall> Take();
  void Clear();

 private:
  std::vector<LoggedCall> entries_;
  std::map<UString, std::int64_t> counts_;
};

// One more level of reactions running inside client calls, while it lives.
class ReactionDepth {
 public:
  explicit ReactionDepth(int& depth) : depth_(++depth) {}
  ~ReactionDepth() { --depth_; }
  ReactionDepth(const ReactionDepth&) = delete;
  ReactionDepth& operator=(const ReactionDepth&) = delete;

 private:
  int& depth_;
};

std::string Clip(std::string s);
std::string ErrorText(std::int32_t number, const UString& source, const UString& description);
std::string ErrorText(const CallOutcome& o);
bool ErrorMatches(const ErrorSpec& e, const CallOutcome& o);

class Expectations {
 public:
  virtual ~Expectations() = default;

  // The value a spec stands for; StepFault when it stands for none.
  Variant Eval(const ValueSpec& spec);
  const Variant& Lookup(const std::string& name) const;
  // Whether `actual` fits the pattern; `*note` may tell why not.
  bool Match(const ValueSpec& spec, const Variant& actual, std::string* note);

  std::string Show(const Variant& v) const;
  std::string ShowEntry(const LoggedCall& entry) const;
  std::string ShowLog(const std::vector<LoggedCall>& log) const;

  // Each gives the failure message of the step, or nullopt when it holds.
  // The error expectation (or its absence) against the outcome.
  std::optional<std::string> OutcomeFault(const Step& s, const CallOutcome& o);
  // The result and the variables after a member call whose outcome held.
  std::optional<std::string> ResultFault(const Step& s, const CallOutcome& o);
  // The items a walk gave, after an outcome that held.
  std::optional<std::string> ItemsFault(const Step& s, const std::vector<Variant>& items);
  // The log since the last check.
  std::optional<std::string> LogFault(const Step& s, const std::vector<LoggedCall>& actual);

 protected:
  // The case's value under `name`, or null.
  virtual const Variant* FindName(const std::string& name) const = 0;
  // The name under which the case holds `o`, "" when none.
  virtual std::string NameOf(const Object* o) const = 0;
  // Reads the object's default member; false with what went wrong, worded to
  // follow "its default member " ("raised {...}").
  virtual bool DefaultMember(const Variant& object, Variant* value, std::string* fault) = 0;
  // The kinds Eval does not build itself (a by-reference name, an omitted
  // argument); the default refuses them.
  virtual Variant EvalOther(const ValueSpec& spec);
};

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_EXPECTATIONS_H_
