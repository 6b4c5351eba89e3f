// clsZqRegyHandlerAValuesA: the value objects for the values of one key
// (ParentKey), in the order added, each under an optional key that is unique
// without regard to case. Item (the default member), Remove, Count and
// for-each behave as the automation layer's keyed Collection, errors
// included. Only the value enumeration adds items.
#ifndef KEYSTREL_HANDLER_A_VALUE_COLLECTION_H_
#define KEYSTREL_HANDLER_A_VALUE_COLLECTION_H_

#include <cstdint>
#include <memory>

#include "frame/dispatch.h"
#include "frame/object.h"
#include "frame/variant.h"
#include "handler_a/node_list.h"

namespace keystrel {

class HandlerA;
class HandlerAValue;
namespace handler_a_detail {
class ValueNode;
}

class HandlerAValues final : public Object {
 public:
  ~HandlerAValues() override;
  const ClassInfo* class_info() const noexcept override;

  std::int32_t ParentKey() const { return parent_key_; }
  std::int32_t Count() const { return items_.Count(); }
  void Remove(const Variant& vntIndexKey);
  // Releases every item; ParentKey stays.
  void Clear() { items_.Clear(); }
  Ref<Enumerator> NewEnum() const;
  Ref<HandlerAValue> Item(const Variant& vntIndexKey) const;

 private:
  friend class HandlerA;
  HandlerAValues();
  static Ref<HandlerAValues> Make();
  void SetParentKey(std::int32_t handle) { parent_key_ = handle; }
  // A new value object for `name` of `type`, under `key` unless it is empty.
  std::shared_ptr<handler_a_detail::ValueNode> AddValue(const UString& name, std::int32_t type,
                                                        const UString& key);

  handler_a_detail::NodeList<handler_a_detail::ValueNode> items_;
  std::int32_t parent_key_ = 0;
};

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_A_VALUE_COLLECTION_H_
