#include "tools/conformance/values.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "frame/catalogue.h"
#include "frame/safe_array.h"
#include "tools/conformance/value_text.h"

namespace keystrel::conformance {
namespace {

using Json = nlohmann::ordered_json;

// Doubles compare by value (+0 equals -0); NaN equals only the same NaN.
template <class F>
bool SameFloat(F a, F b) {
  if (a == b) return true;
  return std::isnan(a) && std::isnan(b) && std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameArray(const SafeArray& a, const SafeArray& b) {
  if (a.element_type() != b.element_type() || a.has_storage() != b.has_storage()) return false;
  if (!a.has_storage()) return true;
  if (a.LBound() != b.LBound() || a.UBound() != b.UBound()) return false;
  for (std::int32_t i = a.LBound(); i <= a.UBound(); ++i) {
    if (!SameValue(a.Get(i), b.Get(i))) return false;
  }
  return true;
}

const char* ElementName(VarType t) {
  switch (t) {
    case VarType::kByte:
      return "byte";
    case VarType::kInteger:
      return "int";
    case VarType::kLong:
      return "long";
    case VarType::kSingle:
      return "single";
    case VarType::kDouble:
      return "double";
    case VarType::kCurrency:
      return "currency";
    case VarType::kDate:
      return "date";
    case VarType::kBoolean:
      return "bool";
    case VarType::kString:
      return "string";
    case VarType::kVariant:
      return "variant";
    case VarType::kObject:
      return "object";
    case VarType::kEmpty:
    case VarType::kNull:
    case VarType::kError:
    case VarType::kDecimal:
    case VarType::kArray:
      break;
  }
  return "unknown";
}

Json DoubleJson(double d) {
  if (!std::isfinite(d)) return Json{{"double", std::isnan(d) ? "NaN" : d > 0 ? "+Inf" : "-Inf"}};
  return Json(d);
}

Json ArrayJson(const SafeArray& a, const ObjectNamer& namer) {
  const char* element = ElementName(a.element_type());
  if (!a.has_storage()) return Json{{"array", element}, {"nostorage", true}};
  if (a.element_type() == VarType::kByte && a.LBound() == 0) {
    return Json{{"bytes", FormatHexBytes(a.bytes())}};
  }
  Json items = Json::array();
  for (std::int32_t i = a.LBound(); i <= a.UBound(); ++i) {
    Variant item = a.Get(i);
    // Typed elements are written bare where the bare form reads back the same.
    if (a.element_type() == VarType::kByte) {
      items.push_back(item.byte_value());
    } else if (a.element_type() == VarType::kInteger) {
      items.push_back(item.integer_value());
    } else if (a.element_type() == VarType::kSingle) {
      items.push_back(static_cast<double>(item.single_value()));
    } else {
      items.push_back(ValueJson(item, namer));
    }
  }
  return Json{{"array", element}, {"lbound", a.LBound()}, {"items", items}};
}

}  // namespace

bool SameValue(const Variant& a, const Variant& b) {
  if (a.type() != b.type()) return false;
  if (a.is_array()) return SameArray(a.array(), b.array());
  switch (a.type()) {
    case VarType::kEmpty:
    case VarType::kNull:
      return true;
    case VarType::kInteger:
      return a.integer_value() == b.integer_value();
    case VarType::kLong:
      return a.long_value() == b.long_value();
    case VarType::kSingle:
      return SameFloat(a.single_value(), b.single_value());
    case VarType::kDouble:
      return SameFloat(a.double_value(), b.double_value());
    case VarType::kCurrency:
      return a.currency_value() == b.currency_value();
    case VarType::kDate:
      return SameFloat(a.date_value().days, b.date_value().days);
    case VarType::kString:
      return a.string() == b.string();
    case VarType::kObject:
      return a.object().get() == b.object().get();
    case VarType::kError:
      return a.error_value() == b.error_value();
    case VarType::kBoolean:
      return a.bool_value() == b.bool_value();
    case VarType::kDecimal:
      return NormalizeDecimal(a.decimal_value()) == NormalizeDecimal(b.decimal_value());
    case VarType::kByte:
      return a.byte_value() == b.byte_value();
    case VarType::kVariant:
    case VarType::kArray:
      break;
  }
  return false;
}

Json ValueJson(const Variant& v, const ObjectNamer& namer) {
  if (v.is_array()) return ArrayJson(v.array(), namer);
  switch (v.type()) {
    case VarType::kEmpty:
      return Json{{"empty", true}};
    case VarType::kNull:
      return Json{{"null", true}};
    case VarType::kInteger:
      return Json{{"int", v.integer_value()}};
    case VarType::kLong:
      return Json(v.long_value());
    case VarType::kSingle:
      return Json{{"single", static_cast<double>(v.single_value())}};
    case VarType::kDouble:
      return DoubleJson(v.double_value());
    case VarType::kCurrency:
      return Json{{"currency", FormatCurrencyText(v.currency_value())}};
    case VarType::kDate:
      return Json{{"date", FormatDateText(v.date_value())}};
    case VarType::kString:
      return Json(UToUtf8(v.string()));
    case VarType::kObject: {
      const Object* o = v.object().get();
      if (!o) return Json{{"nothing", true}};
      const ClassInfo* cls = o->class_info();
      Json j{{"objectof", cls ? UToUtf8(cls->name) : std::string("(client object)")}};
      std::string name = namer ? namer(o) : std::string();
      if (!name.empty()) j["obj"] = name;
      return j;
    }
    case VarType::kError:
      if (v.is_missing()) return Json{{"missing", true}};
      return Json{{"error", v.error_value()}};
    case VarType::kBoolean:
      return Json(v.bool_value());
    case VarType::kDecimal:
      return Json{{"decimal", FormatDecimalText(v.decimal_value())}};
    case VarType::kByte:
      return Json{{"byte", v.byte_value()}};
    case VarType::kVariant:
    case VarType::kArray:
      break;
  }
  return Json{{"unknown subtype", static_cast<int>(v.type())}};
}

std::string DumpJson(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string RenderValue(const Variant& value, const ObjectNamer& namer) {
  return DumpJson(ValueJson(value, namer));
}

}  // namespace keystrel::conformance
