#include "frame/safe_array.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "frame/convert.h"
#include "frame/error.h"

namespace keystrel {
namespace {

template <class T>
struct Tag {
  using type = T;
};

// Calls f(Tag<T>) with the storage item type of an element type. Decimal
// elements live as decimal variants, since no other storage fits them.
template <class F>
decltype(auto) WithItemType(VarType element, F&& f) {
  switch (element) {
    case VarType::kByte: return f(Tag<std::uint8_t>{});
    case VarType::kInteger: return f(Tag<std::int16_t>{});
    case VarType::kLong: return f(Tag<std::int32_t>{});
    case VarType::kSingle: return f(Tag<float>{});
    case VarType::kDouble: return f(Tag<double>{});
    case VarType::kCurrency: return f(Tag<Currency>{});
    case VarType::kDate: return f(Tag<Date>{});
    case VarType::kBoolean: return f(Tag<bool>{});
    case VarType::kString: return f(Tag<UString>{});
    case VarType::kVariant:
    case VarType::kDecimal: return f(Tag<Variant>{});
    case VarType::kObject: return f(Tag<Ref<Object>>{});
    case VarType::kEmpty:
    case VarType::kNull:
    case VarType::kError:
    case VarType::kArray: break;
  }
  // No array of this element type exists in the runtime (nor an array whose
  // elements are typed arrays).
  RaiseError(rt::kInvalidProcedureCall);
}

template <class T>
Variant ToVariant(const T& item) {
  if constexpr (std::is_same_v<T, std::uint8_t>) {
    return Variant::Byte(item);
  } else if constexpr (std::is_same_v<T, std::int16_t>) {
    return Variant::Integer(item);
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return Variant::Long(item);
  } else if constexpr (std::is_same_v<T, float>) {
    return Variant::Single(item);
  } else if constexpr (std::is_same_v<T, double>) {
    return Variant::Double(item);
  } else if constexpr (std::is_same_v<T, Currency>) {
    return Variant::FromCurrency(item);
  } else if constexpr (std::is_same_v<T, Date>) {
    return Variant::FromDate(item);
  } else if constexpr (std::is_same_v<T, UString>) {
    return Variant::String(item);
  } else if constexpr (std::is_same_v<T, Variant>) {
    return item;
  } else if constexpr (std::is_same_v<T, Ref<Object>>) {
    return Variant::Object(item);
  }
}

// `v` already has the element type (or any type for variant elements).
template <class T>
T FromVariant(Variant&& v) {
  if constexpr (std::is_same_v<T, std::uint8_t>) {
    return v.byte_value();
  } else if constexpr (std::is_same_v<T, std::int16_t>) {
    return v.integer_value();
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return v.long_value();
  } else if constexpr (std::is_same_v<T, float>) {
    return v.single_value();
  } else if constexpr (std::is_same_v<T, double>) {
    return v.double_value();
  } else if constexpr (std::is_same_v<T, Currency>) {
    return v.currency_value();
  } else if constexpr (std::is_same_v<T, Date>) {
    return v.date_value();
  } else if constexpr (std::is_same_v<T, bool>) {
    return v.bool_value();
  } else if constexpr (std::is_same_v<T, UString>) {
    return v.TakeString();
  } else if constexpr (std::is_same_v<T, Variant>) {
    return std::move(v);
  } else if constexpr (std::is_same_v<T, Ref<Object>>) {
    return v.object();
  }
}

template <class T>
bool SameItems(const std::vector<T>& a, const std::vector<T>& b) {
  if constexpr (std::is_floating_point_v<T> || std::is_same_v<T, Date>) {
    // Same rule as for variants: bit-for-bit except +0 == -0.
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (Variant(ToVariant(a[i])) != ToVariant(b[i])) return false;
    }
    return true;
  } else {
    return a == b;
  }
}

}  // namespace

SafeArray::SafeArray(VarType element) : element_(element) {
  WithItemType(element, [this](auto tag) {
    items_.emplace<std::vector<typename decltype(tag)::type>>();
  });
}

SafeArray::SafeArray(VarType element, std::int32_t lbound, std::int32_t count)
    : SafeArray(element) {
  Redim(lbound, count, false);
}

SafeArray SafeArray::Bytes(std::span<const std::uint8_t> bytes) {
  SafeArray a(VarType::kByte);
  a.has_storage_ = true;
  std::get<std::vector<std::uint8_t>>(a.items_).assign(bytes.begin(), bytes.end());
  return a;
}

SafeArray SafeArray::Strings(const std::vector<UString>& items, std::int32_t lbound) {
  SafeArray a(VarType::kString);
  a.Redim(lbound, static_cast<std::int32_t>(items.size()), false);
  std::get<std::vector<UString>>(a.items_) = items;
  return a;
}

SafeArray SafeArray::Variants(std::vector<Variant> items) {
  SafeArray a(VarType::kVariant);
  a.has_storage_ = true;
  std::get<std::vector<Variant>>(a.items_) = std::move(items);
  return a;
}

std::int32_t SafeArray::LBound() const {
  if (!has_storage_) RaiseError(rt::kSubscriptOutOfRange);
  return lbound_;
}

std::int32_t SafeArray::UBound() const {
  if (!has_storage_) RaiseError(rt::kSubscriptOutOfRange);
  return static_cast<std::int32_t>(static_cast<std::int64_t>(lbound_) + size() - 1);
}

std::int32_t SafeArray::size() const noexcept {
  if (!has_storage_) return 0;
  return static_cast<std::int32_t>(
      std::visit([](const auto& v) { return v.size(); }, items_));
}

std::int32_t SafeArray::Offset(std::int32_t index) const {
  const std::int64_t offset = static_cast<std::int64_t>(index) - lbound_;
  if (!has_storage_ || offset < 0 || offset >= size()) RaiseError(rt::kSubscriptOutOfRange);
  return static_cast<std::int32_t>(offset);
}

Variant SafeArray::Get(std::int32_t index) const {
  const std::int32_t at = Offset(index);
  return std::visit(
      [at](const auto& v) -> Variant {
        using T = typename std::decay_t<decltype(v)>::value_type;
        if constexpr (std::is_same_v<T, bool>) {
          return Variant::Boolean(v[at]);
        } else {
          return ToVariant<T>(v[at]);
        }
      },
      items_);
}

void SafeArray::Set(std::int32_t index, const Variant& value) {
  const std::int32_t at = Offset(index);
  // Convert before touching the element, so a failed write leaves it as it was.
  Variant converted = element_ == VarType::kVariant ? value : ChangeType(value, element_);
  std::visit(
      [&](auto& v) {
        using T = typename std::decay_t<decltype(v)>::value_type;
        v[at] = FromVariant<T>(std::move(converted));
      },
      items_);
}

void SafeArray::Redim(std::int32_t lbound, std::int32_t count, bool preserve) {
  if (count < 0 ||
      static_cast<std::int64_t>(lbound) + count - 1 > std::numeric_limits<std::int32_t>::max()) {
    RaiseError(rt::kSubscriptOutOfRange);
  }
  // Allocate the new storage first, so running out of memory leaves the
  // array as it was; moving the kept elements over cannot fail.
  try {
    std::visit(
        [&](auto& v) {
          using Vec = std::decay_t<decltype(v)>;
          using T = typename Vec::value_type;
          Vec next;
          if constexpr (std::is_same_v<T, Variant>) {
            if (element_ == VarType::kDecimal) {
              next.assign(static_cast<std::size_t>(count), Variant::FromDecimal({}));
            } else {
              next.resize(static_cast<std::size_t>(count));
            }
          } else {
            next.resize(static_cast<std::size_t>(count));
          }
          if (preserve && has_storage_) {
            // Elements keep their index: those inside both the old and the
            // new bounds survive.
            const std::int64_t old_lo = lbound_;
            const std::int64_t old_hi = old_lo + static_cast<std::int64_t>(v.size()) - 1;
            const std::int64_t lo = std::max<std::int64_t>(old_lo, lbound);
            const std::int64_t hi =
                std::min<std::int64_t>(old_hi, std::int64_t{lbound} + count - 1);
            for (std::int64_t i = lo; i <= hi; ++i) {
              next[static_cast<std::size_t>(i - lbound)] =
                  std::move(v[static_cast<std::size_t>(i - old_lo)]);
            }
          }
          v.swap(next);
        },
        items_);
  } catch (const std::bad_alloc&) {
    RaiseError(rt::kOutOfMemory);
  } catch (const std::length_error&) {
    RaiseError(rt::kOutOfMemory);
  }
  lbound_ = lbound;
  has_storage_ = true;
}

void SafeArray::Erase() {
  std::visit([](auto& v) { std::decay_t<decltype(v)>().swap(v); }, items_);
  has_storage_ = false;
  lbound_ = 0;
}

// The mutable views give the array storage: whatever a caller puts in them is
// then part of the array (bounds lbound .. lbound + size - 1).
std::vector<std::uint8_t>& SafeArray::bytes() {
  if (element_ != VarType::kByte) RaiseError(rt::kTypeMismatch);
  has_storage_ = true;
  return std::get<std::vector<std::uint8_t>>(items_);
}
const std::vector<std::uint8_t>& SafeArray::bytes() const {
  if (element_ != VarType::kByte) RaiseError(rt::kTypeMismatch);
  return std::get<std::vector<std::uint8_t>>(items_);
}
std::vector<UString>& SafeArray::strings() {
  if (element_ != VarType::kString) RaiseError(rt::kTypeMismatch);
  has_storage_ = true;
  return std::get<std::vector<UString>>(items_);
}
const std::vector<UString>& SafeArray::strings() const {
  if (element_ != VarType::kString) RaiseError(rt::kTypeMismatch);
  return std::get<std::vector<UString>>(items_);
}
std::vector<Variant>& SafeArray::variants() {
  if (element_ != VarType::kVariant) RaiseError(rt::kTypeMismatch);
  has_storage_ = true;
  return std::get<std::vector<Variant>>(items_);
}
const std::vector<Variant>& SafeArray::variants() const {
  if (element_ != VarType::kVariant) RaiseError(rt::kTypeMismatch);
  return std::get<std::vector<Variant>>(items_);
}

bool operator==(const SafeArray& a, const SafeArray& b) {
  if (a.element_ != b.element_ || a.has_storage_ != b.has_storage_) return false;
  if (!a.has_storage_) return true;
  if (a.lbound_ != b.lbound_) return false;
  return std::visit(
      []<class T, class U>(const T& x, const U& y) {
        if constexpr (std::is_same_v<T, U>) {
          return SameItems(x, y);
        } else {
          return false;
        }
      },
      a.items_, b.items_);
}

}  // namespace keystrel
