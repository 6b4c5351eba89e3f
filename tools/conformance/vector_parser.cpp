#include "tools/conformance/vector_parser.h"

#include <exception>
#include <limits>
#include <set>
#include <utility>

#include "tools/conformance/internal/json_reading.h"
#include "tools/conformance/internal/registry_reading.h"
#include "tools/conformance/internal/value_reading.h"

namespace keystrel::conformance {
namespace {

using detail::Child;
using detail::Dump;
using detail::Fail;
using detail::FormatFault;
using detail::IntegerIn;
using detail::Json;
using detail::List;
using detail::Name;
using detail::Object;
using detail::OnlyMembers;
using detail::ParseRegistry;
using detail::ParseValue;
using detail::ParseValueList;
using detail::Quote;
using detail::Text;
using detail::ValueContext;

// ---------------------------------------------------------------------------
// Steps

struct ActionName {
  const char* name;
  StepKind kind;
};
constexpr ActionName kActions[] = {
    {"new", StepKind::kNew},         {"dim", StepKind::kDim},
    {"get", StepKind::kGet},         {"let", StepKind::kLet},
    {"set", StepKind::kSet},         {"call", StepKind::kCall},
    {"value", StepKind::kValue},     {"foreach", StepKind::kForEach},
    {"release", StepKind::kRelease}, {"handles", StepKind::kHandles},
    {"sink", StepKind::kSink},       {"recorder", StepKind::kRecorder},
    {"on", StepKind::kOn},           {"log", StepKind::kLog},
};

ErrorSpec ParseErrorSpec(const Json& j, const std::string& pointer) {
  Object(j, pointer, "an expected error");
  OnlyMembers(j, pointer, {"number", "source", "description", "description_prefix"},
              "an expected error");
  ErrorSpec e;
  e.text = Dump(j);
  if (j.contains("number")) {
    e.number = static_cast<std::int32_t>(static_cast<std::uint32_t>(
        IntegerIn(j["number"], Child(pointer, "number"), std::numeric_limits<std::int32_t>::min(),
                  0xFFFFFFFFll, "an error number")));
  }
  auto text = [&](const char* key, std::optional<UString>* out) {
    if (j.contains(key)) *out = Utf8ToU(Text(j[key], Child(pointer, key), key));
  };
  text("source", &e.source);
  text("description", &e.description);
  text("description_prefix", &e.description_prefix);
  return e;
}

// The members every member-call step may carry.
void ParseCallMembers(const Json& j, const std::string& pointer, Step* s) {
  if (j.contains("args")) {
    s->args = ParseValueList(j["args"], Child(pointer, "args"), ValueContext::kArg, "args");
  }
  if (j.contains("result") && j.contains("error")) {
    Fail(pointer, "a step expects either a result or an error, not both");
  }
  if (j.contains("result")) {
    s->result = ParseValue(j["result"], Child(pointer, "result"), ValueContext::kExpected);
  }
  if (j.contains("error")) s->error = ParseErrorSpec(j["error"], Child(pointer, "error"));
  if (j.contains("vars")) {
    const std::string vp = Child(pointer, "vars");
    const Json& vars = Object(j["vars"], vp, "vars");
    for (auto it = vars.begin(); it != vars.end(); ++it) {
      if (it.key().empty()) Fail(vp, "a variable name must not be empty");
      s->vars.emplace_back(it.key(),
                           ParseValue(it.value(), Child(vp, it.key()), ValueContext::kExpected));
    }
  }
  if (j.contains("as")) s->as = Name(j["as"], Child(pointer, "as"), "\"as\"");
}

Step ParseStep(const Json& j, const std::string& pointer);

void ParseOn(const Json& j, const std::string& pointer, Step* s) {
  OnlyMembers(j, pointer, {"on", "nth", "do", "setarg", "keep"}, "an \"on\" step");
  s->on_name = Utf8ToU(s->target);
  if (j.contains("nth")) {
    s->nth = IntegerIn(j["nth"], Child(pointer, "nth"), 1, std::numeric_limits<std::int32_t>::max(),
                       "nth");
  }
  if (j.contains("do")) {
    const std::string dp = Child(pointer, "do");
    const Json& steps = List(j["do"], dp, "do");
    for (std::size_t i = 0; i < steps.size(); ++i) {
      s->do_steps.push_back(ParseStep(steps[i], Child(dp, i)));
    }
  }
  auto index_of = [](const Json& o, const std::string& p) {
    if (!o.contains("index")) Fail(p, "\"index\" is missing");
    return static_cast<std::int32_t>(IntegerIn(o["index"], Child(p, "index"), 0, 1 << 20, "index"));
  };
  if (j.contains("setarg")) {
    const std::string sp = Child(pointer, "setarg");
    const Json& list = List(j["setarg"], sp, "setarg");
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string p = Child(sp, i);
      OnlyMembers(Object(list[i], p, "a setarg entry"), p, {"index", "value"}, "a setarg entry");
      if (!list[i].contains("value")) Fail(p, "\"value\" is missing");
      s->setargs.push_back(
          SetArgSpec{index_of(list[i], p),
                     ParseValue(list[i]["value"], Child(p, "value"), ValueContext::kInput), p});
    }
  }
  if (j.contains("keep")) {
    const std::string kp = Child(pointer, "keep");
    const Json& list = List(j["keep"], kp, "keep");
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string p = Child(kp, i);
      OnlyMembers(Object(list[i], p, "a keep entry"), p, {"index", "as"}, "a keep entry");
      if (!list[i].contains("as")) Fail(p, "\"as\" is missing");
      s->keeps.push_back(
          KeepSpec{index_of(list[i], p), Name(list[i]["as"], Child(p, "as"), "as"), p});
    }
  }
}

void ParseLog(const Json& j, const std::string& pointer, Step* s) {
  OnlyMembers(j, pointer, {"log"}, "a \"log\" step");
  const std::string lp = Child(pointer, "log");
  const Json& entries = List(j["log"], lp, "the log");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string ep = Child(lp, i);
    const Json& e = entries[i];
    if (!e.is_array() || e.empty() || !e[0].is_string()) {
      Fail(ep, "a log entry is a list: [\"name\", arg, ...], not " + Dump(e));
    }
    LogEntrySpec entry;
    entry.name = Utf8ToU(e[0].get<std::string>());
    entry.text = Dump(e);
    for (std::size_t a = 1; a < e.size(); ++a) {
      entry.args.push_back(ParseValue(e[a], Child(ep, a), ValueContext::kExpected));
    }
    s->log.push_back(std::move(entry));
  }
}

void ParseMemberTarget(const std::string& target, const std::string& pointer, Step* s) {
  std::size_t dot = target.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == target.size()) {
    Fail(pointer, "expected \"object.Member\", not " + Quote(target));
  }
  s->target = target.substr(0, dot);
  s->member = Utf8ToU(target.substr(dot + 1));
}

Step ParseStep(const Json& j, const std::string& pointer) {
  if (!j.is_object() || j.empty()) {
    Fail(pointer, "a step is an object whose first member names its action, not " + Dump(j));
  }
  Step s;
  s.pointer = pointer;
  const std::string action = j.begin().key();
  const Json& head = j.begin().value();
  const std::string head_ptr = Child(pointer, action);
  bool known = false;
  for (const ActionName& a : kActions) {
    if (action == a.name) {
      s.kind = a.kind;
      known = true;
    }
  }
  if (!known) Fail(head_ptr, "unknown step action " + Quote(action));

  if (s.kind == StepKind::kHandles) {
    OnlyMembers(j, pointer, {"handles"}, "a \"handles\" step");
    s.handles =
        IntegerIn(head, head_ptr, 0, std::numeric_limits<std::int32_t>::max(), "the handle count");
    s.summary = "handles " + Dump(head);
    return s;
  }
  if (s.kind == StepKind::kLog) {
    ParseLog(j, pointer, &s);
    s.summary = "log";
    return s;
  }
  const std::string& target = Name(head, head_ptr, "the step's name");
  s.target = target;
  s.summary = action + " " + target;
  switch (s.kind) {
    case StepKind::kNew: {
      OnlyMembers(j, pointer, {"new", "class", "progid", "global", "error"}, "a \"new\" step");
      int ways = 0;
      for (auto [key, by] :
           {std::pair{"class", CreateBy::kClass}, std::pair{"progid", CreateBy::kProgId},
            std::pair{"global", CreateBy::kGlobal}}) {
        if (!j.contains(key)) continue;
        ++ways;
        s.create_by = by;
        s.create_what = Utf8ToU(Name(j[key], Child(pointer, key), key));
      }
      if (ways != 1) Fail(pointer, "a \"new\" step names exactly one of class, progid, global");
      if (j.contains("error")) s.error = ParseErrorSpec(j["error"], Child(pointer, "error"));
      break;
    }
    case StepKind::kDim:
      OnlyMembers(j, pointer, {"dim", "value"}, "a \"dim\" step");
      if (!j.contains("value")) Fail(pointer, "a \"dim\" step needs \"value\"");
      s.value = ParseValue(j["value"], Child(pointer, "value"), ValueContext::kInput);
      break;
    case StepKind::kGet:
    case StepKind::kCall:
    case StepKind::kLet:
    case StepKind::kSet: {
      const bool assigns = s.kind == StepKind::kLet || s.kind == StepKind::kSet;
      if (assigns) {
        OnlyMembers(j, pointer, {action.c_str(), "value", "args", "result", "error", "vars", "as"},
                    "a \"" + action + "\" step");
        if (!j.contains("value")) Fail(pointer, "a \"" + action + "\" step needs \"value\"");
        s.value = ParseValue(j["value"], Child(pointer, "value"), ValueContext::kInput);
      } else {
        OnlyMembers(j, pointer, {action.c_str(), "args", "result", "error", "vars", "as"},
                    "a \"" + action + "\" step");
      }
      ParseMemberTarget(target, head_ptr, &s);
      ParseCallMembers(j, pointer, &s);
      break;
    }
    case StepKind::kValue:
      OnlyMembers(j, pointer, {"value", "args", "result", "error", "vars", "as"},
                  "a \"value\" step");
      ParseCallMembers(j, pointer, &s);
      break;
    case StepKind::kForEach:
      OnlyMembers(j, pointer, {"foreach", "result", "error"}, "a \"foreach\" step");
      if (j.contains("result") && j.contains("error")) {
        Fail(pointer, "a step expects either a result or an error, not both");
      }
      if (j.contains("result")) {
        s.items = ParseValueList(j["result"], Child(pointer, "result"), ValueContext::kExpected,
                                 "a for-each result");
      }
      if (j.contains("error")) s.error = ParseErrorSpec(j["error"], Child(pointer, "error"));
      break;
    case StepKind::kRelease:
      OnlyMembers(j, pointer, {"release"}, "a \"release\" step");
      break;
    case StepKind::kSink:
      OnlyMembers(j, pointer, {"sink", "name"}, "a \"sink\" step");
      if (!j.contains("name")) Fail(pointer, "a \"sink\" step needs \"name\"");
      s.sink_name = Name(j["name"], Child(pointer, "name"), "the sink's name");
      break;
    case StepKind::kRecorder:
      OnlyMembers(j, pointer, {"recorder", "methods"}, "a \"recorder\" step");
      if (j.contains("methods")) {
        const std::string mp = Child(pointer, "methods");
        const Json& list = List(j["methods"], mp, "methods");
        s.methods.emplace();
        for (std::size_t i = 0; i < list.size(); ++i) {
          s.methods->push_back(Utf8ToU(Name(list[i], Child(mp, i), "a method name")));
        }
      }
      break;
    case StepKind::kOn:
      ParseOn(j, pointer, &s);
      break;
    case StepKind::kHandles:
    case StepKind::kLog:
      break;  // handled above
  }
  return s;
}

// ---------------------------------------------------------------------------
// Cases

Case ParseCase(const Json& j, const std::string& pointer) {
  Object(j, pointer, "a case");
  OnlyMembers(j, pointer,
              {"name", "registry", "computers", "env", "progids", "steps", "registry_after"},
              "a case");
  Case c;
  c.pointer = pointer;
  if (!j.contains("name")) Fail(pointer, "a case needs \"name\"");
  c.name = Name(j["name"], Child(pointer, "name"), "a case name");
  if (j.contains("registry")) {
    c.registry = ParseRegistry(j["registry"], Child(pointer, "registry"), false);
  }
  if (j.contains("computers")) {
    const std::string cp = Child(pointer, "computers");
    const Json& computers = Object(j["computers"], cp, "computers");
    for (auto it = computers.begin(); it != computers.end(); ++it) {
      if (it.key().empty()) Fail(cp, "a computer name must not be empty");
      c.computers.emplace_back(Utf8ToU(it.key()),
                               ParseRegistry(it.value(), Child(cp, it.key()), false));
    }
  }
  if (j.contains("env")) {
    const std::string ep = Child(pointer, "env");
    const Json& env = Object(j["env"], ep, "env");
    for (auto it = env.begin(); it != env.end(); ++it) {
      if (it.key().empty()) Fail(ep, "a variable name must not be empty");
      c.env[Utf8ToU(it.key())] =
          Utf8ToU(Text(it.value(), Child(ep, it.key()), "an environment value"));
    }
  }
  if (j.contains("progids")) {
    const std::string pp = Child(pointer, "progids");
    const Json& progids = Object(j["progids"], pp, "progids");
    for (auto it = progids.begin(); it != progids.end(); ++it) {
      if (it.key().empty()) Fail(pp, "a programmatic identifier must not be empty");
      c.progids.emplace_back(Utf8ToU(it.key()),
                             Utf8ToU(Name(it.value(), Child(pp, it.key()), "a recorder name")));
    }
  }
  if (j.contains("steps")) {
    const std::string sp = Child(pointer, "steps");
    const Json& steps = List(j["steps"], sp, "steps");
    for (std::size_t i = 0; i < steps.size(); ++i)
      c.steps.push_back(ParseStep(steps[i], Child(sp, i)));
  }
  if (j.contains("registry_after")) {
    c.registry_after = ParseRegistry(j["registry_after"], Child(pointer, "registry_after"), true);
  }
  return c;
}

// Parses text into JSON, refusing duplicate members (a JSON reader would keep
// only one of them silently, and a seed or check would be lost).
Json ParseJson(std::string_view text) {
  struct Frame {
    std::string pointer;
    bool is_array;
    std::size_t index = 0;
    std::string key;
    std::set<std::string> keys;
  };
  std::vector<Frame> stack;
  std::optional<FormatFault> duplicate;
  auto child_pointer = [](const Frame& f) {
    return f.is_array ? Child(f.pointer, f.index) : Child(f.pointer, f.key);
  };
  Json::parser_callback_t cb = [&](int, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        stack.push_back(Frame{stack.empty() ? std::string() : child_pointer(stack.back()),
                              event == Json::parse_event_t::array_start});
        break;
      case Json::parse_event_t::key: {
        Frame& f = stack.back();
        f.key = parsed.get<std::string>();
        if (!f.keys.insert(f.key).second && !duplicate) {
          duplicate = FormatFault{Child(f.pointer, f.key), "duplicate member " + Quote(f.key)};
        }
        break;
      }
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        stack.pop_back();
        if (!stack.empty() && stack.back().is_array) ++stack.back().index;
        break;
      case Json::parse_event_t::value:
        if (!stack.empty() && stack.back().is_array) ++stack.back().index;
        break;
    }
    return true;
  };
  Json j;
  try {
    j = Json::parse(text.begin(), text.end(), cb);
  } catch (const Json::exception& e) {
    Fail("", std::string("not valid JSON: ") + e.what());
  }
  if (duplicate) throw *duplicate;
  return j;
}

}  // namespace

std::optional<VectorFile> ParseVectorText(std::string_view text, VectorError* error) {
  try {
    Json j = ParseJson(text);
    Object(j, "", "a vector file");
    OnlyMembers(j, "", {"cases"}, "a vector file");
    if (!j.contains("cases")) Fail("", "a vector file is {\"cases\": [...]}");
    const Json& cases = List(j["cases"], "/cases", "cases");
    VectorFile file;
    std::set<std::string> names;
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const std::string p = Child("/cases", i);
      file.cases.push_back(ParseCase(cases[i], p));
      if (!names.insert(file.cases.back().name).second) {
        Fail(Child(p, "name"), "case name " + Quote(file.cases.back().name) + " is used twice");
      }
    }
    return file;
  } catch (const FormatFault& f) {
    *error = VectorError{f.pointer, f.message};
  } catch (const std::exception& e) {
    // Anything else is a fault of the reader itself; still no crash.
    *error = VectorError{"", std::string("cannot read: ") + e.what()};
  }
  return std::nullopt;
}

}  // namespace keystrel::conformance
