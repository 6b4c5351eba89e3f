// The automation variant: a tagged value of one of the runtime's subtypes.
//
// Empty, null and the missing marker (the error subtype holding
// 0x80020004) are three different values. Strings are counted UTF-16 and may
// hold NULs. Arrays are one-dimensional SafeArrays of a fixed element type.
// Moving a string or an array out of a variant does not copy it; copying a
// variant copies an array deeply, as assignment does in the runtime.
//
// Access comes in three forms (folly::dynamic's split): is_*() tests; strict
// accessors that throw error 13 when the subtype differs; and the coercions of
// frame/convert.h, which follow the runtime's conversion rules.
//
// Thread safety: a value type; no sharing.
#ifndef KEYSTREL_FRAME_VARIANT_H_
#define KEYSTREL_FRAME_VARIANT_H_

#include <compare>
#include <cstdint>
#include <memory>
#include <variant>

#include "frame/object.h"
#include "frame/ustring.h"

namespace keystrel {

class SafeArray;

// Subtype numbers as the runtime's VarType gives them. An array reports
// kArray | element type.
enum class VarType : std::uint16_t {
  kEmpty = 0,
  kNull = 1,
  kInteger = 2,
  kLong = 3,
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kString = 8,
  kObject = 9,
  kError = 10,
  kBoolean = 11,
  kVariant = 12,
  kDecimal = 14,
  kByte = 17,
  kArray = 0x2000,
};

constexpr VarType operator|(VarType a, VarType b) {
  return static_cast<VarType>(static_cast<std::uint16_t>(a) | static_cast<std::uint16_t>(b));
}
constexpr bool IsArrayType(VarType t) { return (static_cast<std::uint16_t>(t) & 0x2000) != 0; }
constexpr VarType ElementType(VarType t) {
  return static_cast<VarType>(static_cast<std::uint16_t>(t) & ~0x2000);
}

// The runtime's TypeName of a subtype: "Empty", "Null", "Integer", "Long",
// "String", "Byte()", "String()", "Variant()", ...
UString TypeNameOf(VarType type);

// Currency: a 64-bit integer scaled by 10,000.
struct Currency {
  std::int64_t scaled = 0;
  friend auto operator<=>(const Currency&, const Currency&) = default;
};

// Date: the OLE automation date, days since 1899-12-30, fraction = time of day.
struct Date {
  double days = 0;
  friend bool operator==(const Date&, const Date&) = default;
};

// Decimal: a 96-bit unsigned magnitude, a power-of-ten scale 0..28 and a sign.
struct Decimal {
  std::uint32_t hi32 = 0;
  std::uint64_t lo64 = 0;
  std::uint8_t scale = 0;
  bool negative = false;
  friend bool operator==(const Decimal&, const Decimal&) = default;
};

// The error subtype: a status code. The missing marker is kMissingStatus.
struct ErrorCode {
  std::int32_t status = 0;
  friend bool operator==(const ErrorCode&, const ErrorCode&) = default;
};
inline constexpr std::int32_t kMissingStatus = static_cast<std::int32_t>(0x80020004u);

class Variant {
 public:
  Variant() noexcept = default;  // empty
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept = default;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept = default;
  ~Variant();

  // Named constructors: each gives exactly that subtype.
  static Variant Null();
  static Variant Missing() { return Error(kMissingStatus); }
  static Variant Error(std::int32_t status);
  static Variant Boolean(bool b);
  static Variant Byte(std::uint8_t v);
  static Variant Integer(std::int16_t v);
  static Variant Long(std::int32_t v);
  static Variant Single(float v);
  static Variant Double(double v);
  static Variant FromCurrency(Currency v);
  static Variant FromDate(Date v);
  static Variant FromDecimal(Decimal v);
  static Variant String(UString s);
  static Variant Object(Ref<keystrel::Object> o);  // an empty Ref gives Nothing
  static Variant Nothing() { return Object(nullptr); }
  static Variant Array(SafeArray a);

  // The deliberately short list of implicit constructors: string literals and
  // strings (the common case in tests and catalogue defaults).
  Variant(const char16_t* s) : Variant(String(UString(s))) {}  // NOLINT
  Variant(UString s) : Variant(String(std::move(s))) {}        // NOLINT

  VarType type() const noexcept;

  bool is_empty() const noexcept { return index() == kEmptyIx; }
  bool is_null() const noexcept { return index() == kNullIx; }
  bool is_missing() const noexcept {
    return index() == kErrorIx && std::get<ErrorCode>(v_).status == kMissingStatus;
  }
  bool is_string() const noexcept { return index() == kStringIx; }
  bool is_object() const noexcept { return index() == kObjectIx; }
  bool is_array() const noexcept { return index() == kArrayIx; }
  bool is_bool() const noexcept { return index() == kBoolIx; }
  // byte, integer, long, single, double, currency, decimal
  bool is_number() const noexcept;

  // Strict accessors: error 13 when the subtype differs.
  bool bool_value() const;
  std::uint8_t byte_value() const;
  std::int16_t integer_value() const;
  std::int32_t long_value() const;
  float single_value() const;
  double double_value() const;
  Currency currency_value() const;
  Date date_value() const;
  Decimal decimal_value() const;
  std::int32_t error_value() const;
  const UString& string() const;
  UString& string();
  UString TakeString();                  // leaves the variant empty; no copy
  const Ref<keystrel::Object>& object() const;  // Nothing gives an empty Ref
  const SafeArray& array() const;
  SafeArray& array();
  SafeArray TakeArray();  // leaves the variant empty; no copy

  // Same subtype and same value (arrays: element type, bounds and items;
  // objects: identity; doubles bit-for-bit except +0 == -0). Not the runtime's
  // "=" operator, which converts: that is CompareValues in convert.h.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };
  struct Bool16 {
    bool value;
    friend bool operator==(Bool16, Bool16) = default;
  };
  // The deleter is defined where SafeArray is complete, so this header does
  // not need safe_array.h.
  struct ArrayDeleter {
    void operator()(SafeArray* a) const noexcept;
  };
  struct ArrayBox {
    std::unique_ptr<SafeArray, ArrayDeleter> p;
  };
  using Storage = std::variant<std::monostate, NullTag, std::int16_t, std::int32_t, float, double,
                               Currency, Date, UString, Ref<keystrel::Object>, ErrorCode, Bool16,
                               Decimal, std::uint8_t, ArrayBox>;
  enum : std::size_t {
    kEmptyIx, kNullIx, kIntegerIx, kLongIx, kSingleIx, kDoubleIx, kCurrencyIx, kDateIx,
    kStringIx, kObjectIx, kErrorIx, kBoolIx, kDecimalIx, kByteIx, kArrayIx
  };
  std::size_t index() const noexcept { return v_.index(); }
  [[noreturn]] void Mismatch() const;

  Storage v_;
};

// Common shorthands.
inline Variant VLong(std::int32_t v) { return Variant::Long(v); }
inline Variant VBool(bool v) { return Variant::Boolean(v); }
inline Variant VStr(UString s) { return Variant::String(std::move(s)); }

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_VARIANT_H_
