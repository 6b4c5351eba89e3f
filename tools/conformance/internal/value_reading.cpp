#include "tools/conformance/internal/value_reading.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <utility>

#include "frame/convert.h"
#include "frame/error.h"
#include "frame/safe_array.h"
#include "tools/conformance/value_text.h"

namespace keystrel::conformance::detail {
namespace {

struct ElementName {
  const char* name;
  VarType type;
};
constexpr ElementName kElementNames[] = {
    {"byte", VarType::kByte},       {"int", VarType::kInteger},   {"long", VarType::kLong},
    {"single", VarType::kSingle},   {"double", VarType::kDouble}, {"currency", VarType::kCurrency},
    {"date", VarType::kDate},       {"bool", VarType::kBoolean},  {"string", VarType::kString},
    {"variant", VarType::kVariant}, {"object", VarType::kObject},
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
    {"empty", {}},
    {"null", {}},
    {"missing", {}},
    {"nothing", {}},
    {"error", {}},
    {"bool", {}},
    {"byte", {}},
    {"int", {}},
    {"long", {}},
    {"single", {}},
    {"double", {}},
    {"currency", {}},
    {"decimal", {}},
    {"date", {}},
    {"str", {}},
    {"bytes", {}},
    {"array", {"lbound", "items", "nostorage"}},
    {"obj", {}},
    {"val", {}},
    {"var", {}},
    {"omit", {}},
    {"objectof", {"default"}},
    {"any", {}},
};

const Form* FindForm(const Json& j, const std::string& pointer) {
  const Form* found = nullptr;
  for (auto it = j.begin(); it != j.end(); ++it) {
    for (const Form& f : kForms) {
      if (it.key() != f.key) continue;
      if (found) {
        Fail(pointer,
             "a VALUE has one form, not both " + Quote(found->key) + " and " + Quote(f.key));
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
    v.lbound = static_cast<std::int32_t>(
        IntegerIn(j["lbound"], Child(pointer, "lbound"), std::numeric_limits<std::int32_t>::min(),
                  std::numeric_limits<std::int32_t>::max(), "lbound"));
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
    v.literal =
        Variant::Integer(static_cast<std::int16_t>(IntegerIn(arg, ptr, -32768, 32767, "an int")));
  } else if (key == "long") {
    v.literal =
        Variant::Long(static_cast<std::int32_t>(IntegerIn(arg, ptr, kI32Min, kI32Max, "a long")));
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

}  // namespace

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
  for (std::size_t i = 0; i < j.size(); ++i)
    out.push_back(ParseValue(j[i], Child(pointer, i), ctx));
  return out;
}

}  // namespace keystrel::conformance::detail
