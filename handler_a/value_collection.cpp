#include "handler_a/value_collection.h"

#include "handler_a/handler_a.h"
#include "handler_a/value_node.h"

namespace keystrel {

using handler_a_detail::ValueNode;

HandlerAValues::HandlerAValues() = default;

HandlerAValues::~HandlerAValues() {
  items_.ForEachNode([this](ValueNode& node) { node.ForgetParent(this); });
}

Ref<HandlerAValues> HandlerAValues::Make() { return Ref<HandlerAValues>(new HandlerAValues()); }

std::shared_ptr<ValueNode> HandlerAValues::AddValue(const UString& name, std::int32_t type,
                                                    const UString& key) {
  // No handler link yet, so none of these setters reads.
  auto node = std::make_shared<ValueNode>();
  node->SetParent(this);
  node->SetParentKey(parent_key_);
  node->SetDataType(type);
  node->SetValueName(name);
  items_.Add(node, key);
  return node;
}

void HandlerAValues::Remove(const Variant& vntIndexKey) { items_.Remove(vntIndexKey); }

Ref<Enumerator> HandlerAValues::NewEnum() const {
  std::vector<Variant> items;
  for (const auto& node : items_.InOrder()) {
    items.push_back(Variant::Object(HandlerAValue::Of(node)));
  }
  return MakeSnapshotEnumerator(std::move(items));
}

Ref<HandlerAValue> HandlerAValues::Item(const Variant& vntIndexKey) const {
  return HandlerAValue::Of(items_.Item(vntIndexKey));
}

}  // namespace keystrel
