#include "tools/conformance/expectations.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "frame/catalogue.h"
#include "frame/error.h"
#include "frame/safe_array.h"
#include "tools/conformance/values.h"

namespace keystrel::conformance {
namespace {

using Json = nlohmann::ordered_json;

}  // namespace

std::int64_t CallBook::Add(LoggedCall entry) {
  const UString key = TextUpper(entry.name);
  entries_.push_back(std::move(entry));
  return ++counts_[key];
}

std::vector<LoggedCall> CallBook::Take() {
  std::vector<LoggedCall> out = std::move(entries_);
  entries_.clear();
  return out;
}

void CallBook::Clear() {
  entries_.clear();
  counts_.clear();
}

std::string Clip(std::string s) {
  if (s.size() > kMaxShown) s = s.substr(0, kMaxShown) + "...";
  return s;
}

std::string ErrorText(std::int32_t number, const UString& source, const UString& description) {
  return DumpJson(
      Json{{"number", number}, {"source", UToUtf8(source)}, {"description", UToUtf8(description)}});
}

std::string ErrorText(const CallOutcome& o) { return ErrorText(o.number, o.source, o.description); }

bool ErrorMatches(const ErrorSpec& e, const CallOutcome& o) {
  if (e.number && *e.number != o.number) return false;
  if (e.source && *e.source != o.source) return false;
  if (e.description && *e.description != o.description) return false;
  if (e.description_prefix &&
      o.description.compare(0, e.description_prefix->size(), *e.description_prefix) != 0) {
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Values

const Variant& Expectations::Lookup(const std::string& name) const {
  const Variant* v = FindName(name);
  if (!v) throw StepFault{"no object or variable named \"" + name + "\""};
  return *v;
}

Variant Expectations::EvalOther(const ValueSpec& spec) {
  throw StepFault{"not a value: " + spec.text};
}

Variant Expectations::Eval(const ValueSpec& spec) {
  switch (spec.kind) {
    case ValueSpec::Kind::kLiteral:
      return spec.literal;
    case ValueSpec::Kind::kValRef:
      return Lookup(spec.name);
    case ValueSpec::Kind::kObjRef: {
      const Variant& v = Lookup(spec.name);
      if (!v.is_object()) throw StepFault{"\"" + spec.name + "\" does not hold an object"};
      return v;
    }
    case ValueSpec::Kind::kArray: {
      SafeArray a(spec.element, spec.lbound, static_cast<std::int32_t>(spec.items.size()));
      for (std::size_t i = 0; i < spec.items.size(); ++i) {
        Variant item = Eval(spec.items[i]);
        try {
          a.Set(spec.lbound + static_cast<std::int32_t>(i), item);
        } catch (const AutomationError& e) {
          throw StepFault{"array item at " + spec.items[i].pointer +
                          " cannot be stored: " + e.what()};
        }
      }
      return Variant::Array(std::move(a));
    }
    case ValueSpec::Kind::kVarRef:
    case ValueSpec::Kind::kOmit:
    case ValueSpec::Kind::kObjectOf:
    case ValueSpec::Kind::kAny:
      break;
  }
  return EvalOther(spec);
}

bool Expectations::Match(const ValueSpec& spec, const Variant& actual, std::string* note) {
  switch (spec.kind) {
    case ValueSpec::Kind::kAny:
      return true;
    case ValueSpec::Kind::kLiteral:
      return SameValue(spec.literal, actual);
    case ValueSpec::Kind::kValRef:
      return SameValue(Lookup(spec.name), actual);
    case ValueSpec::Kind::kObjRef: {
      const Variant& v = Lookup(spec.name);
      if (!v.is_object()) throw StepFault{"\"" + spec.name + "\" does not hold an object"};
      return actual.is_object() && actual.object().get() == v.object().get();
    }
    case ValueSpec::Kind::kObjectOf: {
      if (!actual.is_object() || !actual.object()) return false;
      const ClassInfo* cls = actual.object()->class_info();
      if (!cls || !TextEquals(cls->name, spec.class_name)) return false;
      if (!spec.default_value) return true;
      Variant value;
      std::string fault;
      if (!DefaultMember(actual, &value, &fault)) {
        *note = "; its default member " + fault;
        return false;
      }
      std::string inner;
      if (Match(*spec.default_value, value, &inner)) return true;
      *note = "; its default member gave " + Show(value) + inner;
      return false;
    }
    case ValueSpec::Kind::kArray: {
      if (!actual.is_array()) return false;
      const SafeArray& a = actual.array();
      if (a.element_type() != spec.element || !a.has_storage() || a.LBound() != spec.lbound ||
          static_cast<std::size_t>(a.size()) != spec.items.size()) {
        return false;
      }
      for (std::size_t i = 0; i < spec.items.size(); ++i) {
        if (!Match(spec.items[i], a.Get(spec.lbound + static_cast<std::int32_t>(i)), note)) {
          return false;
        }
      }
      return true;
    }
    case ValueSpec::Kind::kVarRef:
    case ValueSpec::Kind::kOmit:
      break;
  }
  return false;
}

std::string Expectations::Show(const Variant& v) const {
  return RenderValue(v, [this](const Object* o) { return NameOf(o); });
}

std::string Expectations::ShowEntry(const LoggedCall& entry) const {
  std::string out = "[" + DumpJson(Json(UToUtf8(entry.name)));
  for (const Variant& a : entry.args) out += "," + Show(a);
  return out + "]";
}

std::string Expectations::ShowLog(const std::vector<LoggedCall>& log) const {
  std::string out = "[";
  for (std::size_t i = 0; i < log.size(); ++i) out += (i ? "," : "") + ShowEntry(log[i]);
  return out + "]";
}

// ---------------------------------------------------------------------------
// Steps

std::optional<std::string> Expectations::OutcomeFault(const Step& s, const CallOutcome& o) {
  if (s.error) {
    if (!o.raised) return "expected error " + s.error->text + ", actual result " + Show(o.value);
    if (!ErrorMatches(*s.error, o)) {
      return "expected error " + s.error->text + ", actual error " + ErrorText(o);
    }
  } else if (o.raised) {
    return "expected " + (s.result ? s.result->text : std::string("no error")) + ", actual error " +
           ErrorText(o);
  }
  return std::nullopt;
}

std::optional<std::string> Expectations::ResultFault(const Step& s, const CallOutcome& o) {
  std::string note;
  if (!o.raised && s.result && !Match(*s.result, o.value, &note)) {
    return "expected " + s.result->text + ", actual " + Show(o.value) + note;
  }
  for (const auto& [name, expected] : s.vars) {
    const Variant* actual = FindName(name);
    if (!actual) {
      return "variable " + name + ": expected " + expected.text + ", actual no such variable";
    }
    note.clear();
    if (!Match(expected, *actual, &note)) {
      return "variable " + name + ": expected " + expected.text + ", actual " + Show(*actual) +
             note;
    }
  }
  return std::nullopt;
}

std::optional<std::string> Expectations::ItemsFault(const Step& s,
                                                    const std::vector<Variant>& items) {
  if (!s.items) return std::nullopt;
  bool same = items.size() == s.items->size();
  std::string note;
  for (std::size_t i = 0; same && i < items.size(); ++i)
    same = Match((*s.items)[i], items[i], &note);
  if (same) return std::nullopt;
  std::string expected = "[";
  for (std::size_t i = 0; i < s.items->size(); ++i) expected += (i ? "," : "") + (*s.items)[i].text;
  std::string actual = "[";
  for (std::size_t i = 0; i < items.size(); ++i) actual += (i ? "," : "") + Show(items[i]);
  return "expected items " + expected + "], actual " + actual + "]" + note;
}

std::optional<std::string> Expectations::LogFault(const Step& s,
                                                  const std::vector<LoggedCall>& actual) {
  const std::size_t n = std::max(actual.size(), s.log.size());
  for (std::size_t i = 0; i < n; ++i) {
    std::string note;
    bool same = i < actual.size() && i < s.log.size() && actual[i].name == s.log[i].name &&
                actual[i].args.size() == s.log[i].args.size();
    for (std::size_t a = 0; same && a < actual[i].args.size(); ++a) {
      same = Match(s.log[i].args[a], actual[i].args[a], &note);
    }
    if (same) continue;
    const std::string expected = i < s.log.size() ? s.log[i].text : "no more entries";
    const std::string got = i < actual.size() ? ShowEntry(actual[i]) : "no more entries";
    return "log entry " + std::to_string(i + 1) + ": expected " + expected + ", actual " + got +
           note + "; whole log " + ShowLog(actual);
  }
  return std::nullopt;
}

}  // namespace keystrel::conformance
