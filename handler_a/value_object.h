// clsZqRegyHandlerAValueA: one registry value (the value ValueName, or the
// key's unnamed value when Default is set, of the key ParentKey), with its
// data cached in Value.
//
// With AutoSet on (the initial state) the object reads its data through the
// handler that made it as soon as it is fully identified, and writes whenever
// Value is assigned. Only the library makes value objects: the value
// enumeration of clsZqRegyHandlerA hands them out through its collection, its
// ValueEnumerated event and its buddy callback.
//
// Holding a value object keeps its collection (Parent) and its handler alive.
#ifndef KEYSTREL_HANDLER_A_VALUE_OBJECT_H_
#define KEYSTREL_HANDLER_A_VALUE_OBJECT_H_

#include <cstdint>
#include <memory>

#include "frame/object.h"
#include "frame/variant.h"

namespace keystrel {

class HandlerAValues;
namespace handler_a_detail {
class ValueNode;
}

class HandlerAValue final : public Object {
 public:
  ~HandlerAValue() override;
  const ClassInfo* class_info() const noexcept override;

  // The cached data; reads first when not loaded yet and AutoSet is on.
  Variant Value();
  // Caches the data, and writes it when AutoSet is on.
  void Value(const Variant& vNewValue);
  bool AutoSet() const;
  // Switching AutoSet on reads at once when the object was never loaded.
  void AutoSet(bool vNewValue);
  bool Default() const;
  void Default(bool vNewValue);
  std::int32_t ParentKey() const;
  Ref<HandlerAValues> Parent() const;
  std::int32_t Size() const;
  UString ValueName() const;
  std::int32_t DataType() const;
  // Reads (or writes) now through the handler; nothing without a handler.
  void GetValue();
  void SetValue();
  // Empties the cache; the loaded state and Size stay.
  void Clear();
  // "SZ", "DWORD", ... or, with Friendly, "String", "DWord", ...
  UString TypeWord(bool Friendly = false) const;

  // The object standing for `node`: the one clients already hold, or a new one.
  static Ref<HandlerAValue> Of(const std::shared_ptr<handler_a_detail::ValueNode>& node);
  const std::shared_ptr<handler_a_detail::ValueNode>& node() const { return node_; }

 private:
  friend class handler_a_detail::ValueNode;
  explicit HandlerAValue(std::shared_ptr<handler_a_detail::ValueNode> node);

  std::shared_ptr<handler_a_detail::ValueNode> node_;
  Ref<HandlerAValues> parent_;  // keeps the collection alive for this holder
};

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_A_VALUE_OBJECT_H_
