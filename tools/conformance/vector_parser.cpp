#include "tools/conformance/vector_parser.h"

#include <cfloat>
#include <cmath>
#include <exception>
#include <initializer_list>
#include <limits>
#include <set>
#include <utility>

#include <nlohmann/json.hpp>

#include "frame/convert.h"
#include "frame/error.h"
#include "frame/safe_array.h"
#include "platform/ansi.h"
#include "tools/conformance/value_text.h"

namespace keystrel::conformance {
namespace {

using Json = nlohmann::ordered_json;

// Thrown while reading; ParseVectorText turns it into a VectorError.
struct FormatFault {
  std::string pointer;
  std::string message;
};

[[noreturn]] void Fail(const std::string& pointer, std::string message) {
  throw FormatFault{pointer, std::move(message)};
}

std::string Child(const std::string& pointer, std::string_view key) {
  std::string out = pointer + "/";
  for (char c : key) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Child(const std::string& pointer, std::size_t index) {
  return pointer + "/" + std::to_string(index);
}

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::optional<std::int64_t> AsInteger(const Json& j) {
  if (j.is_number_unsigned()) {
    std::uint64_t u = j.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(u);
  }
  if (j.is_number_integer()) return j.get<std::int64_t>();
  return std::nullopt;
}

std::int64_t IntegerIn(const Json& j, const std::string& pointer, std::int64_t lo, std::int64_t hi,
                       const char* what) {
  std::optional<std::int64_t> v = AsInteger(j);
  if (!v || *v < lo || *v > hi) {
    Fail(pointer, std::string(what) + " must be an integer from " + std::to_string(lo) + " to " +
                      std::to_string(hi) + ", not " + Dump(j));
  }
  return *v;
}

const std::string& Text(const Json& j, const std::string& pointer, const char* what) {
  if (!j.is_string()) Fail(pointer, std::string(what) + " must be a string, not " + Dump(j));
  return j.get_ref<const std::string&>();
}

const std::string& Name(const Json& j, const std::string& pointer, const char* what) {
  const std::string& s = Text(j, pointer, what);
  if (s.empty()) Fail(pointer, std::string(what) + " must not be empty");
  return s;
}

void RequireTrue(const Json& j, const std::string& pointer, std::string_view form) {
  if (!j.is_boolean() || !j.get<bool>()) {
    Fail(pointer, "{" + Quote(form) + ": ...} takes true only, not " + Dump(j));
  }
}

const Json& Object(const Json& j, const std::string& pointer, const char* what) {
  if (!j.is_object()) Fail(pointer, std::string(what) + " must be an object, not " + Dump(j));
  return j;
}

const Json& List(const Json& j, const std::string& pointer, const char* what) {
  if (!j.is_array()) Fail(pointer, std::string(what) + " must be a list, not " + Dump(j));
  return j;
}

void OnlyMembers(const Json& j, const std::string& pointer, std::initializer_list<const char*> ok,
                 std::string_view what) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool known = false;
    for (const char* k : ok) known = known || it.key() == k;
    if (!known) {
      Fail(Child(pointer, it.key()),
           "member " + Quote(it.key()) + " is not part of " + std::string(what));
    }
  }
}

// ---------------------------------------------------------------------------
// VALUE

enum class ValueContext {
  kInput,     // a VALUE given to the library
  kArg,       // an ARG: a VALUE, {"var": x} or {"omit": true}
  kExpected,  // an expected result or log argument: also objectof / any
};

struct ElementName {
  const char* name;
  VarType type;
};
constexpr ElementName kElementNames[] = {
    {"byte", VarType::kByte},         {"int", VarType::kInteger},   {"long", VarType::kLong},
    {"single", VarType::kSingle},     {"double", VarType::kDouble}, {"currency", VarType::kCurrency},
    {"date", VarType::kDate},         {"bool", VarType::kBoolean},  {"string", VarType::kString},
    {"variant", VarType::kVariant},   {"object", VarType::kObject},
};

VarType ElementType(const Json& j, const std::string& pointer) {
  const std::string& name = Text(j, pointer, "an array's element type");
  for (const ElementName& e : kElementNames) {
    if (name == e.name) return e.type;
  }
  Fail(pointer, "unknown array element type " + Quote(name) +
                    " (byte, int, long, single, double, currency, date, bool, string, variant, "
                    "object)");
}

// The forms a VALUE object can take, with the members that may go with each.
struct Form {
  const char* key;
  std::initializer_list<const char*> companions;
};
const Form kForms[] = {
    {"empty", {}},     {"null", {}},     {"missing", {}},  {"nothing", {}},
    {"error", {}},     {"bool", {}},     {"byte", {}},     {"int", {}},
    {"long", {}},      {"single", {}},   {"double", {}},   {"currency", {}},
    {"decimal", {}},   {"date", {}},     {"str", {}},      {"bytes", {}},
    {"array", {"lbound", "items", "nostorage"}},           {"obj", {}},
    {"val", {}},       {"var", {}},      {"omit", {}},     {"objectof", {"default"}},
    {"any", {}},
};

const Form* FindForm(const Json& j, const std::string& pointer) {
  const Form* found = nullptr;
  for (auto it = j.begin(); it != j.end(); ++it) {
    for (const Form& f : kForms) {
      if (it.key() != f.key) continue;
      if (found) {
        Fail(pointer, "a VALUE has one form, not both " + Quote(found->key) + " and " +
                          Quote(f.key));
      }
      found = &f;
    }
  }
  if (!found) Fail(pointer, "not a VALUE form: " + Dump(j));
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool ok = it.key() == found->key;
    for (const char* c : found->companions) ok = ok || it.key() == c;
    if (!ok) {
      Fail(Child(pointer, it.key()),
           "member " + Quote(it.key()) + " does not go with " + Quote(found->key));
    }
  }
  return found;
}

ValueSpec ParseValue(const Json& j, const std::string& pointer, ValueContext ctx);

ValueSpec ParseArray(const Json& j, const std::string& pointer, ValueContext ctx, ValueSpec v) {
  v.element = ElementType(j["array"], Child(pointer, "array"));
  if (j.contains("nostorage")) {
    RequireTrue(j["nostorage"], Child(pointer, "nostorage"), "nostorage");
    if (j.contains("items") || j.contains("lbound")) {
      Fail(pointer, "an array without storage has no items and no lbound");
    }
    v.kind = ValueSpec::Kind::kLiteral;
    v.literal = Variant::Array(SafeArray(v.element));
    return v;
  }
  v.kind = ValueSpec::Kind::kArray;
  if (j.contains("lbound")) {
    v.lbound = static_cast<std::int32_t>(IntegerIn(j["lbound"], Child(pointer, "lbound"),
                                                   std::numeric_limits<std::int32_t>::min(),
                                                   std::numeric_limits<std::int32_t>::max(),
                                                   "lbound"));
  }
  if (!j.contains("items")) return v;
  const std::string items_ptr = Child(pointer, "items");
  const Json& items = List(j["items"], items_ptr, "items");
  const ValueContext item_ctx = ctx == ValueContext::kArg ? ValueContext::kInput : ctx;
  for (std::size_t i = 0; i < items.size(); ++i) {
    ValueSpec item = ParseValue(items[i], Child(items_ptr, i), item_ctx);
    if (item.kind == ValueSpec::Kind::kLiteral && v.element != VarType::kVariant) {
      // Items are stored as the element type; a value that cannot be stored
      // so is a fault of the file, not of the library.
      try {
        if (v.element == VarType::kObject) {
          if (!item.literal.is_object()) Fail(item.pointer, "an object array holds objects only");
        } else {
          item.literal = ChangeType(item.literal, v.element);
        }
      } catch (const AutomationError& e) {
        Fail(item.pointer, "item does not convert to the element type: " + std::string(e.what()));
      }
    }
    v.items.push_back(std::move(item));
  }
  return v;
}

ValueSpec ParseObjectValue(const Json& j, const std::string& pointer, ValueContext ctx,
                           ValueSpec v) {
  const Form* form = FindForm(j, pointer);
  const std::string key = form->key;
  const Json& arg = j[key];
  const std::string ptr = Child(pointer, key);
  constexpr auto kI32Min = std::numeric_limits<std::int32_t>::min();
  constexpr auto kI32Max = std::numeric_limits<std::int32_t>::max();

  if (key == "empty" || key == "null" || key == "missing" || key == "nothing") {
    RequireTrue(arg, ptr, key);
    v.literal = key == "empty"     ? Variant()
                : key == "null"    ? Variant::Null()
                : key == "missing" ? Variant::Missing()
                                   : Variant::Nothing();
  } else if (key == "error") {
    // Statuses are often written unsigned (0x80020004 as 2147614724).
    v.literal = Variant::Error(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(IntegerIn(arg, ptr, kI32Min, 0xFFFFFFFFll, "an error status"))));
  } else if (key == "bool") {
    if (!arg.is_boolean()) Fail(ptr, "{\"bool\": ...} takes true or false");
    v.literal = Variant::Boolean(arg.get<bool>());
  } else if (key == "byte") {
    v.literal = Variant::Byte(static_cast<std::uint8_t>(IntegerIn(arg, ptr, 0, 255, "a byte")));
  } else if (key == "int") {
    v.literal = Variant::Integer(static_cast<std::int16_t>(IntegerIn(arg, ptr, -32768, 32767,
                                                                     "an int")));
  } else if (key == "long") {
    v.literal = Variant::Long(static_cast<std::int32_t>(IntegerIn(arg, ptr, kI32Min, kI32Max,
                                                                  "a long")));
  } else if (key == "single" || key == "double") {
    if (!arg.is_number()) Fail(ptr, "{" + Quote(key) + ": ...} takes a number");
    double d = arg.get<double>();
    if (key == "double") {
      v.literal = Variant::Double(d);
    } else {
      if (std::fabs(d) > FLT_MAX) Fail(ptr, "out of the single's range");
      v.literal = Variant::Single(static_cast<float>(d));
    }
  } else if (key == "currency" || key == "decimal") {
    std::string text = arg.is_number_integer() ? Dump(arg) : Text(arg, ptr, "the number");
    if (key == "currency") {
      std::optional<Currency> c = ParseCurrency(text);
      if (!c) Fail(ptr, "not a currency (at most 4 decimals, within 64 bits): " + Dump(arg));
      v.literal = Variant::FromCurrency(*c);
    } else {
      std::optional<Decimal> d = ParseDecimal(text);
      if (!d) Fail(ptr, "not a decimal (96 bits, at most 28 decimals): " + Dump(arg));
      v.literal = Variant::FromDecimal(*d);
    }
  } else if (key == "date") {
    std::optional<Date> d = ParseDate(Text(arg, ptr, "a date"));
    if (!d) Fail(ptr, "not a date \"YYYY-MM-DD[ HH:MM[:SS]]\" or \"HH:MM[:SS]\": " + Dump(arg));
    v.literal = Variant::FromDate(*d);
  } else if (key == "str") {
    v.literal = Variant::String(Utf8ToU(Text(arg, ptr, "the text")));
  } else if (key == "bytes") {
    std::optional<std::vector<std::uint8_t>> bytes = ParseHexBytes(Text(arg, ptr, "the bytes"));
    if (!bytes) Fail(ptr, "not pairs of hex digits: " + Dump(arg));
    v.literal = Variant::Array(SafeArray::Bytes(*bytes));
  } else if (key == "array") {
    return ParseArray(j, pointer, ctx, std::move(v));
  } else if (key == "obj" || key == "val" || key == "var") {
    if (key == "var" && ctx != ValueContext::kArg) {
      Fail(ptr, "{\"var\": ...} passes a variable by reference: only an argument can");
    }
    v.kind = key == "obj"   ? ValueSpec::Kind::kObjRef
             : key == "val" ? ValueSpec::Kind::kValRef
                            : ValueSpec::Kind::kVarRef;
    v.name = Name(arg, ptr, "a name");
  } else if (key == "omit") {
    if (ctx != ValueContext::kArg) Fail(ptr, "{\"omit\": true} stands only for an argument");
    RequireTrue(arg, ptr, key);
    v.kind = ValueSpec::Kind::kOmit;
  } else if (key == "objectof" || key == "any") {
    if (ctx != ValueContext::kExpected) {
      Fail(ptr, "{" + Quote(key) + ": ...} matches results; it cannot be passed as a value");
    }
    if (key == "any") {
      RequireTrue(arg, ptr, key);
      v.kind = ValueSpec::Kind::kAny;
    } else {
      v.kind = ValueSpec::Kind::kObjectOf;
      v.class_name = Utf8ToU(Name(arg, ptr, "a class name"));
      if (j.contains("default")) {
        v.default_value = std::make_shared<ValueSpec>(
            ParseValue(j["default"], Child(pointer, "default"), ValueContext::kExpected));
      }
    }
  }
  return v;
}

ValueSpec ParseValue(const Json& j, const std::string& pointer, ValueContext ctx) {
  ValueSpec v;
  v.pointer = pointer;
  v.text = Dump(j);
  if (j.is_string()) {
    v.literal = Variant::String(Utf8ToU(j.get_ref<const std::string&>()));
  } else if (j.is_boolean()) {
    v.literal = Variant::Boolean(j.get<bool>());
  } else if (j.is_number_float()) {
    v.literal = Variant::Double(j.get<double>());
  } else if (j.is_number()) {
    std::optional<std::int64_t> i = AsInteger(j);
    if (!i || *i < std::numeric_limits<std::int32_t>::min() ||
        *i > std::numeric_limits<std::int32_t>::max()) {
      Fail(pointer, "the integer " + Dump(j) +
                        " does not fit a long; write {\"double\": ...} or a signed long");
    }
    v.literal = Variant::Long(static_cast<std::int32_t>(*i));
  } else if (j.is_null()) {
    Fail(pointer, "null is not a VALUE; write {\"null\": true} or {\"empty\": true}");
  } else if (j.is_array()) {
    Fail(pointer, "a list is not a VALUE; write {\"array\": T, \"items\": [...]}");
  } else {
    return ParseObjectValue(j, pointer, ctx, std::move(v));
  }
  return v;
}

std::vector<ValueSpec> ParseValueList(const Json& j, const std::string& pointer, ValueContext ctx,
                                      const char* what) {
  List(j, pointer, what);
  std::vector<ValueSpec> out;
  for (std::size_t i = 0; i < j.size(); ++i) out.push_back(ParseValue(j[i], Child(pointer, i), ctx));
  return out;
}

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
    return static_cast<std::int32_t>(IntegerIn(o["index"], Child(p, "index"), 0, 1 << 20,
                                               "index"));
  };
  if (j.contains("setarg")) {
    const std::string sp = Child(pointer, "setarg");
    const Json& list = List(j["setarg"], sp, "setarg");
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string p = Child(sp, i);
      OnlyMembers(Object(list[i], p, "a setarg entry"), p, {"index", "value"}, "a setarg entry");
      if (!list[i].contains("value")) Fail(p, "\"value\" is missing");
      s->setargs.push_back(SetArgSpec{index_of(list[i], p),
                                      ParseValue(list[i]["value"], Child(p, "value"),
                                                 ValueContext::kInput),
                                      p});
    }
  }
  if (j.contains("keep")) {
    const std::string kp = Child(pointer, "keep");
    const Json& list = List(j["keep"], kp, "keep");
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string p = Child(kp, i);
      OnlyMembers(Object(list[i], p, "a keep entry"), p, {"index", "as"}, "a keep entry");
      if (!list[i].contains("as")) Fail(p, "\"as\" is missing");
      s->keeps.push_back(KeepSpec{index_of(list[i], p), Name(list[i]["as"], Child(p, "as"), "as"),
                                  p});
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
    s.handles = IntegerIn(head, head_ptr, 0, std::numeric_limits<std::int32_t>::max(),
                          "the handle count");
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
      for (auto [key, by] : {std::pair{"class", CreateBy::kClass},
                             std::pair{"progid", CreateBy::kProgId},
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
// REGISTRY

constexpr const char* kRootNames[] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_CURRENT_CONFIG", "HKCR", "HKCU", "HKLM", "HKU", "HKCC",
};

void CheckKeyPath(const std::string& path, const std::string& pointer) {
  std::size_t slash = path.find('\\');
  UString root = Utf8ToU(path.substr(0, slash));
  bool known = false;
  for (const char* r : kRootNames) known = known || TextEquals(root, Utf8ToU(r));
  if (!known) Fail(pointer, "a key path starts with a root name (HKCU, HKEY_LOCAL_MACHINE, ...): " +
                                Quote(path));
  if (slash == std::string::npos) return;
  std::string_view rest = std::string_view(path).substr(slash + 1);
  if (rest.empty() || rest.front() == '\\' || rest.back() == '\\' ||
      rest.find("\\\\") != std::string_view::npos) {
    Fail(pointer, "a key path has no empty key names: " + Quote(path));
  }
}

std::vector<std::uint8_t> AnsiWithNul(const std::string& utf8) {
  std::string ansi = platform::ToAnsi(Utf8ToU(utf8));
  std::vector<std::uint8_t> out(ansi.begin(), ansi.end());
  out.push_back(0);
  return out;
}

RegValueSpec ParseData(const Json& j, const std::string& pointer) {
  RegValueSpec v;
  v.pointer = pointer;
  v.text = Dump(j);
  Object(j, pointer, "DATA");
  auto hex = [&](const Json& h, const std::string& p) {
    std::optional<std::vector<std::uint8_t>> bytes = ParseHexBytes(Text(h, p, "the bytes"));
    if (!bytes) Fail(p, "not pairs of hex digits: " + Dump(h));
    return *bytes;
  };
  if (j.contains("type")) {
    OnlyMembers(j, pointer, {"type", "hex"}, "{\"type\": N, \"hex\": ...}");
    if (!j.contains("hex")) Fail(pointer, "{\"type\": N} needs \"hex\"");
    v.type = static_cast<std::uint32_t>(IntegerIn(j["type"], Child(pointer, "type"), 0,
                                                  0xFFFFFFFFll, "a value type"));
    v.bytes = hex(j["hex"], Child(pointer, "hex"));
    return v;
  }
  if (j.size() != 1) Fail(pointer, "DATA has exactly one of sz, expand_sz, multi_sz, dword, binary");
  const std::string key = j.begin().key();
  const Json& arg = j.begin().value();
  const std::string p = Child(pointer, key);
  if (key == "sz" || key == "expand_sz") {
    v.type = key == "sz" ? 1 : 2;
    v.bytes = AnsiWithNul(Text(arg, p, "the text"));
  } else if (key == "multi_sz") {
    v.type = 7;
    List(arg, p, "multi_sz");
    for (std::size_t i = 0; i < arg.size(); ++i) {
      std::vector<std::uint8_t> item = AnsiWithNul(Text(arg[i], Child(p, i), "an item"));
      v.bytes.insert(v.bytes.end(), item.begin(), item.end());
    }
    // The closing NUL; an empty list is two NULs, as the platform writes it.
    if (arg.empty()) v.bytes.push_back(0);
    v.bytes.push_back(0);
  } else if (key == "dword") {
    v.type = 4;
    auto d = static_cast<std::uint32_t>(IntegerIn(arg, p, std::numeric_limits<std::int32_t>::min(),
                                                  0xFFFFFFFFll, "a dword"));
    for (int i = 0; i < 4; ++i) v.bytes.push_back(static_cast<std::uint8_t>(d >> (8 * i)));
  } else if (key == "binary") {
    v.type = 3;
    v.bytes = hex(arg, p);
  } else {
    Fail(p, "unknown DATA form " + Quote(key) + " (sz, expand_sz, multi_sz, dword, binary, type+hex)");
  }
  return v;
}

std::uint32_t ParseGrant(const Json& j, const std::string& pointer) {
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    if (s == "read") return 0x20019;
    if (s == "query") return 1;
    if (s == "none") return 0;
    if (s == "all") return 0xF003F;
    Fail(pointer, "a grant is a number or \"read\", \"query\", \"none\", \"all\", not " + Dump(j));
  }
  return static_cast<std::uint32_t>(IntegerIn(j, pointer, 0, 0xFFFFFFFFll, "a grant"));
}

RegistrySpec ParseRegistry(const Json& j, const std::string& pointer, bool after) {
  Object(j, pointer, "a registry");
  RegistrySpec out;
  for (auto it = j.begin(); it != j.end(); ++it) {
    RegKeySpec key;
    key.pointer = Child(pointer, it.key());
    key.label = it.key();
    key.path = Utf8ToU(it.key());
    CheckKeyPath(it.key(), key.pointer);
    if (it.value().is_null()) {
      if (!after) Fail(key.pointer, "a seed cannot map a key to null");
      key.is_null = true;
      out.push_back(std::move(key));
      continue;
    }
    const Json& values = Object(it.value(), key.pointer, "a key");
    for (auto v = values.begin(); v != values.end(); ++v) {
      const std::string vp = Child(key.pointer, v.key());
      if (v.key() == "@grant") {
        key.grant = ParseGrant(v.value(), vp);
      } else if (v.key() == "@exact") {
        if (!after) Fail(vp, "\"@exact\" belongs to registry_after only");
        if (!v.value().is_boolean()) Fail(vp, "\"@exact\" takes true or false");
        key.exact = v.value().get<bool>();
      } else if (!v.key().empty() && v.key()[0] == '@') {
        Fail(vp, "unknown key member " + Quote(v.key()) + " (@grant, @exact)");
      } else if (v.value().is_null()) {
        if (!after) Fail(vp, "a seed cannot map a value to null");
        RegValueSpec value;
        value.name = Utf8ToU(v.key());
        value.is_null = true;
        value.pointer = vp;
        value.text = "null";
        key.values.push_back(std::move(value));
      } else {
        RegValueSpec value = ParseData(v.value(), vp);
        value.name = Utf8ToU(v.key());
        key.values.push_back(std::move(value));
      }
    }
    out.push_back(std::move(key));
  }
  return out;
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
    for (std::size_t i = 0; i < steps.size(); ++i) c.steps.push_back(ParseStep(steps[i], Child(sp, i)));
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
