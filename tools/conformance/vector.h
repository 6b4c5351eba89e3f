// The in-memory form of a conformance vector file: cases, steps, values,
// expected patterns and registry seeds, as read by vector_parser.h.
//
// Every element remembers the JSON pointer it was read from, so a failure can
// name the exact place in the file. Names of objects and variables are kept as
// the file spells them (UTF-8); member names, class names and texts that reach
// the library are UTF-16.
//
// Thread safety: plain values; no sharing.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_VECTOR_H_
#define KEYSTREL_TOOLS_CONFORMANCE_VECTOR_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "frame/variant.h"

namespace keystrel::conformance {

// A VALUE, an ARG or an expected pattern.
struct ValueSpec {
  enum class Kind {
    kLiteral,   // a fixed value: scalars, strings, byte arrays, arrays without storage
    kArray,     // an array built from item specs (items may name objects or variables)
    kObjRef,    // {"obj": name}
    kValRef,    // {"val": name}
    kVarRef,    // {"var": name}: an argument passed by reference
    kOmit,      // {"omit": true}: an argument not given
    kObjectOf,  // {"objectof": class, "default": VALUE}: expected only
    kAny,       // {"any": true}: expected only
  };

  Kind kind = Kind::kLiteral;
  Variant literal;                           // kLiteral
  VarType element = VarType::kVariant;       // kArray
  std::int32_t lbound = 0;                   // kArray
  std::vector<ValueSpec> items;              // kArray
  std::string name;                          // kObjRef, kValRef, kVarRef
  UString class_name;                        // kObjectOf
  std::shared_ptr<ValueSpec> default_value;  // kObjectOf with "default"
  std::string pointer;                       // where it was read
  std::string text;                          // its JSON text, for messages
};

// The error a step expects; each member is compared only when present.
struct ErrorSpec {
  std::optional<std::int32_t> number;
  std::optional<UString> source;
  std::optional<UString> description;
  std::optional<UString> description_prefix;
  std::string text;  // JSON text, for messages
};

// One logged call: ["name", arg, ...].
struct LogEntrySpec {
  UString name;
  std::vector<ValueSpec> args;
  std::string text;
};

struct SetArgSpec {
  std::int32_t index = 0;
  ValueSpec value;
  std::string pointer;
};

struct KeepSpec {
  std::int32_t index = 0;
  std::string as;
  std::string pointer;
};

enum class StepKind {
  kNew,
  kDim,
  kGet,
  kLet,
  kSet,
  kCall,
  kValue,
  kForEach,
  kRelease,
  kHandles,
  kSink,
  kRecorder,
  kOn,
  kLog,
};

enum class CreateBy { kClass, kProgId, kGlobal };

struct Step {
  StepKind kind = StepKind::kCall;
  std::string pointer;
  std::string summary;  // "call h.KeyExists", for messages

  // The name the step acts on: the object of a member step, the new name of
  // new/dim/recorder, the object of value/foreach/release/sink.
  std::string target;
  UString member;  // get/let/set/call

  // new
  CreateBy create_by = CreateBy::kClass;
  UString create_what;

  // member steps, dim
  std::vector<ValueSpec> args;
  std::optional<ValueSpec> value;               // dim, let, set
  std::optional<ValueSpec> result;              // expected result
  std::optional<std::vector<ValueSpec>> items;  // foreach: expected items
  std::optional<ErrorSpec> error;
  std::vector<std::pair<std::string, ValueSpec>> vars;
  std::string as;

  std::int64_t handles = 0;

  std::string sink_name;                        // sink
  std::optional<std::vector<UString>> methods;  // recorder

  // on
  UString on_name;
  std::optional<std::int64_t> nth;
  std::vector<Step> do_steps;
  std::vector<SetArgSpec> setargs;
  std::vector<KeepSpec> keeps;

  std::vector<LogEntrySpec> log;  // log
};

// DATA of a registry value, already as the type and bytes an ANSI read gives.
struct RegValueSpec {
  UString name;
  bool is_null = false;  // registry_after: must not exist
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  std::string pointer;
  std::string text;
};

struct RegKeySpec {
  UString path;          // as written: root name or abbreviation, "\", the path
  std::string label;     // the same in UTF-8, for messages
  bool is_null = false;  // registry_after: must not exist
  std::optional<std::uint32_t> grant;
  bool exact = false;
  std::vector<RegValueSpec> values;
  std::string pointer;
};

using RegistrySpec = std::vector<RegKeySpec>;

struct Case {
  std::string name;
  std::string pointer;
  RegistrySpec registry;
  std::vector<std::pair<UString, RegistrySpec>> computers;
  std::map<UString, UString> env;
  std::vector<std::pair<UString, UString>> progids;  // programmatic identifier, log name
  std::vector<Step> steps;
  std::optional<RegistrySpec> registry_after;
};

struct VectorFile {
  std::vector<Case> cases;
};

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_VECTOR_H_
