// One-dimensional self-describing arrays of a fixed element type with any
// lower bound, as the automation layer passes them.
//
// An array may have no storage (a dynamic array never dimensioned, or erased):
// then reading its bounds fails with error 9, as LBound/UBound do. Element
// writes are coerced to the element type with the runtime's conversions
// (13 / 6 / 94). Indexes outside the bounds fail with 9.
//
// Element types: byte, integer, long, single, double, currency, date, boolean,
// string, variant, object.
#ifndef KEYSTREL_FRAME_SAFE_ARRAY_H_
#define KEYSTREL_FRAME_SAFE_ARRAY_H_

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

#include "frame/variant.h"

namespace keystrel {

class SafeArray {
 public:
  // An array of `element` type with no storage.
  explicit SafeArray(VarType element);
  // Dimensioned lbound .. lbound + count - 1; elements hold their type's zero
  // (0, "", False, Empty, Nothing). REQUIRES: count >= 0.
  SafeArray(VarType element, std::int32_t lbound, std::int32_t count);

  // A byte array with lower bound 0 holding `bytes` (an empty span gives an
  // array with no elements, bounds 0 to -1).
  static SafeArray Bytes(std::span<const std::uint8_t> bytes);
  // A string array from `lbound` holding `items`.
  static SafeArray Strings(const std::vector<UString>& items, std::int32_t lbound = 0);
  // A variant array from 0 holding `items`.
  static SafeArray Variants(std::vector<Variant> items);

  VarType element_type() const noexcept { return element_; }
  bool has_storage() const noexcept { return has_storage_; }

  // Bounds; error 9 when the array has no storage.
  std::int32_t LBound() const;
  std::int32_t UBound() const;
  // Number of elements; 0 when there is no storage.
  std::int32_t size() const noexcept;

  // Element access by index (not position). Error 9 outside the bounds.
  Variant Get(std::int32_t index) const;
  void Set(std::int32_t index, const Variant& value);

  // ReDim [Preserve]: new bounds; with `preserve` the elements that stay in
  // range keep their values. REQUIRES: count >= 0 (else error 9).
  void Redim(std::int32_t lbound, std::int32_t count, bool preserve);
  // Erase: back to no storage.
  void Erase();

  // Direct views of the storage for the common element types. Each REQUIRES
  // that element type (else error 13).
  std::vector<std::uint8_t>& bytes();
  const std::vector<std::uint8_t>& bytes() const;
  std::vector<UString>& strings();
  const std::vector<UString>& strings() const;
  std::vector<Variant>& variants();
  const std::vector<Variant>& variants() const;

  friend bool operator==(const SafeArray& a, const SafeArray& b);

 private:
  using Storage =
      std::variant<std::vector<std::uint8_t>, std::vector<std::int16_t>, std::vector<std::int32_t>,
                   std::vector<float>, std::vector<double>, std::vector<Currency>,
                   std::vector<Date>, std::vector<bool>, std::vector<UString>,
                   std::vector<Variant>, std::vector<Ref<Object>>>;
  std::int32_t Offset(std::int32_t index) const;  // error 9 when outside

  VarType element_;
  bool has_storage_ = false;
  std::int32_t lbound_ = 0;
  Storage items_;
};

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_SAFE_ARRAY_H_
