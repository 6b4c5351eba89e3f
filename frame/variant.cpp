#include "frame/variant.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "frame/error.h"
#include "frame/safe_array.h"

namespace keystrel {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// Bit-for-bit, so a NaN equals the same NaN, except that +0 equals -0.
template <class T>
bool SameFloat(T a, T b) {
  if (a == 0 && b == 0) return true;
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Decimal values compare by value: 1.0 (scale 1) equals 1, and -0 equals 0.
// The magnitude is kept in 32-bit limbs, most significant first, because the
// 32-bit Windows build has no 128-bit integer.
struct Limbs {
  std::uint32_t w[3];
  bool zero() const { return (w[0] | w[1] | w[2]) == 0; }
  // Divides by 10 when that leaves no remainder.
  bool DivideBy10() {
    std::uint32_t q[3];
    std::uint64_t rem = 0;
    for (int i = 0; i < 3; ++i) {
      const std::uint64_t cur = (rem << 32) | w[i];
      q[i] = static_cast<std::uint32_t>(cur / 10);
      rem = cur % 10;
    }
    if (rem != 0) return false;
    std::memcpy(w, q, sizeof(w));
    return true;
  }
};
Limbs LimbsOf(const Decimal& d) {
  return {{d.hi32, static_cast<std::uint32_t>(d.lo64 >> 32), static_cast<std::uint32_t>(d.lo64)}};
}
bool SameDecimal(const Decimal& a, const Decimal& b) {
  Limbs ma = LimbsOf(a), mb = LimbsOf(b);
  int sa = a.scale, sb = b.scale;
  if (ma.zero() && mb.zero()) return true;
  if (a.negative != b.negative) return false;
  while (sa > 0 && ma.DivideBy10()) --sa;
  while (sb > 0 && mb.DivideBy10()) --sb;
  return sa == sb && std::memcmp(ma.w, mb.w, sizeof(ma.w)) == 0;
}

// An array variant always holds an array; a box emptied by moving the variant
// away reads as an undimensioned variant array rather than crashing.
const SafeArray& EmptyArray() {
  static const SafeArray kEmpty(VarType::kVariant);
  return kEmpty;
}

}  // namespace

void Variant::ArrayDeleter::operator()(SafeArray* a) const noexcept { delete a; }

Variant::Variant(const Variant& other) {
  std::visit(
      [this](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, ArrayBox>) {
          ArrayBox box;
          if (v.p) box.p.reset(new SafeArray(*v.p));
          v_.template emplace<ArrayBox>(std::move(box));
        } else {
          v_.template emplace<T>(v);
        }
      },
      other.v_);
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant::~Variant() = default;

Variant Variant::Null() {
  Variant v;
  v.v_.emplace<kNullIx>();
  return v;
}
Variant Variant::Error(std::int32_t status) {
  Variant v;
  v.v_.emplace<kErrorIx>(ErrorCode{status});
  return v;
}
Variant Variant::Boolean(bool b) {
  Variant v;
  v.v_.emplace<kBoolIx>(Bool16{b});
  return v;
}
Variant Variant::Byte(std::uint8_t x) {
  Variant v;
  v.v_.emplace<kByteIx>(x);
  return v;
}
Variant Variant::Integer(std::int16_t x) {
  Variant v;
  v.v_.emplace<kIntegerIx>(x);
  return v;
}
Variant Variant::Long(std::int32_t x) {
  Variant v;
  v.v_.emplace<kLongIx>(x);
  return v;
}
Variant Variant::Single(float x) {
  Variant v;
  v.v_.emplace<kSingleIx>(x);
  return v;
}
Variant Variant::Double(double x) {
  Variant v;
  v.v_.emplace<kDoubleIx>(x);
  return v;
}
Variant Variant::FromCurrency(Currency x) {
  Variant v;
  v.v_.emplace<kCurrencyIx>(x);
  return v;
}
Variant Variant::FromDate(Date x) {
  Variant v;
  v.v_.emplace<kDateIx>(x);
  return v;
}
Variant Variant::FromDecimal(Decimal x) {
  if (x.scale > 28) RaiseError(rt::kOverflow);
  Variant v;
  v.v_.emplace<kDecimalIx>(x);
  return v;
}
Variant Variant::String(UString s) {
  Variant v;
  v.v_.emplace<kStringIx>(std::move(s));
  return v;
}
Variant Variant::Object(Ref<keystrel::Object> o) {
  Variant v;
  v.v_.emplace<kObjectIx>(std::move(o));
  return v;
}
Variant Variant::Array(SafeArray a) {
  Variant v;
  ArrayBox box;
  box.p.reset(new SafeArray(std::move(a)));
  v.v_.emplace<kArrayIx>(std::move(box));
  return v;
}

VarType Variant::type() const noexcept {
  switch (index()) {
    case kEmptyIx: return VarType::kEmpty;
    case kNullIx: return VarType::kNull;
    case kIntegerIx: return VarType::kInteger;
    case kLongIx: return VarType::kLong;
    case kSingleIx: return VarType::kSingle;
    case kDoubleIx: return VarType::kDouble;
    case kCurrencyIx: return VarType::kCurrency;
    case kDateIx: return VarType::kDate;
    case kStringIx: return VarType::kString;
    case kObjectIx: return VarType::kObject;
    case kErrorIx: return VarType::kError;
    case kBoolIx: return VarType::kBoolean;
    case kDecimalIx: return VarType::kDecimal;
    case kByteIx: return VarType::kByte;
    case kArrayIx: {
      const auto& box = std::get<kArrayIx>(v_);
      return VarType::kArray | (box.p ? box.p->element_type() : VarType::kVariant);
    }
  }
  return VarType::kEmpty;  // valueless after a failed emplace
}

bool Variant::is_number() const noexcept {
  switch (index()) {
    case kByteIx:
    case kIntegerIx:
    case kLongIx:
    case kSingleIx:
    case kDoubleIx:
    case kCurrencyIx:
    case kDecimalIx:
      return true;
    default:
      return false;
  }
}

void Variant::Mismatch() const { RaiseError(rt::kTypeMismatch); }

bool Variant::bool_value() const {
  if (index() != kBoolIx) Mismatch();
  return std::get<kBoolIx>(v_).value;
}
std::uint8_t Variant::byte_value() const {
  if (index() != kByteIx) Mismatch();
  return std::get<kByteIx>(v_);
}
std::int16_t Variant::integer_value() const {
  if (index() != kIntegerIx) Mismatch();
  return std::get<kIntegerIx>(v_);
}
std::int32_t Variant::long_value() const {
  if (index() != kLongIx) Mismatch();
  return std::get<kLongIx>(v_);
}
float Variant::single_value() const {
  if (index() != kSingleIx) Mismatch();
  return std::get<kSingleIx>(v_);
}
double Variant::double_value() const {
  if (index() != kDoubleIx) Mismatch();
  return std::get<kDoubleIx>(v_);
}
Currency Variant::currency_value() const {
  if (index() != kCurrencyIx) Mismatch();
  return std::get<kCurrencyIx>(v_);
}
Date Variant::date_value() const {
  if (index() != kDateIx) Mismatch();
  return std::get<kDateIx>(v_);
}
Decimal Variant::decimal_value() const {
  if (index() != kDecimalIx) Mismatch();
  return std::get<kDecimalIx>(v_);
}
std::int32_t Variant::error_value() const {
  if (index() != kErrorIx) Mismatch();
  return std::get<kErrorIx>(v_).status;
}
const UString& Variant::string() const {
  if (index() != kStringIx) Mismatch();
  return std::get<kStringIx>(v_);
}
UString& Variant::string() {
  if (index() != kStringIx) Mismatch();
  return std::get<kStringIx>(v_);
}
UString Variant::TakeString() {
  if (index() != kStringIx) Mismatch();
  UString s = std::move(std::get<kStringIx>(v_));
  v_.emplace<kEmptyIx>();
  return s;
}
const Ref<keystrel::Object>& Variant::object() const {
  if (index() != kObjectIx) Mismatch();
  return std::get<kObjectIx>(v_);
}
const SafeArray& Variant::array() const {
  if (index() != kArrayIx) Mismatch();
  const auto& box = std::get<kArrayIx>(v_);
  return box.p ? *box.p : EmptyArray();
}
SafeArray& Variant::array() {
  if (index() != kArrayIx) Mismatch();
  auto& box = std::get<kArrayIx>(v_);
  if (!box.p) box.p.reset(new SafeArray(VarType::kVariant));
  return *box.p;
}
SafeArray Variant::TakeArray() {
  if (index() != kArrayIx) Mismatch();
  auto& box = std::get<kArrayIx>(v_);
  SafeArray a = box.p ? std::move(*box.p) : SafeArray(VarType::kVariant);
  v_.emplace<kEmptyIx>();
  return a;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.index() != b.index()) return false;
  return std::visit(
      Overloaded{
          [](float x, float y) { return SameFloat(x, y); },
          [](double x, double y) { return SameFloat(x, y); },
          [](const Date& x, const Date& y) { return SameFloat(x.days, y.days); },
          [](const Decimal& x, const Decimal& y) { return SameDecimal(x, y); },
          [](const Variant::ArrayBox& x, const Variant::ArrayBox& y) {
            const SafeArray& ax = x.p ? *x.p : EmptyArray();
            const SafeArray& ay = y.p ? *y.p : EmptyArray();
            return ax == ay;
          },
          []<class T, class U>(const T& x, const U& y) {
            if constexpr (std::is_same_v<T, U>) {
              return x == y;
            } else {
              return false;
            }
          },
      },
      a.v_, b.v_);
}

UString TypeNameOf(VarType type) {
  if (IsArrayType(type)) {
    const VarType element = ElementType(type);
    if (IsArrayType(element)) return u"Unknown";
    return TypeNameOf(element) + u"()";
  }
  switch (type) {
    case VarType::kEmpty: return u"Empty";
    case VarType::kNull: return u"Null";
    case VarType::kInteger: return u"Integer";
    case VarType::kLong: return u"Long";
    case VarType::kSingle: return u"Single";
    case VarType::kDouble: return u"Double";
    case VarType::kCurrency: return u"Currency";
    case VarType::kDate: return u"Date";
    case VarType::kString: return u"String";
    case VarType::kObject: return u"Object";
    case VarType::kError: return u"Error";
    case VarType::kBoolean: return u"Boolean";
    case VarType::kVariant: return u"Variant";
    case VarType::kDecimal: return u"Decimal";
    case VarType::kByte: return u"Byte";
    case VarType::kArray: break;
  }
  return u"Unknown";
}

}  // namespace keystrel
