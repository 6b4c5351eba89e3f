#include "handler_a/value_object.h"

#include "handler_a/value_collection.h"
#include "handler_a/value_node.h"

namespace keystrel {

using handler_a_detail::ValueNode;

HandlerAValue::HandlerAValue(std::shared_ptr<ValueNode> node)
    : node_(std::move(node)), parent_(RefTo(node_->Parent())) {
  node_->set_facade(this);
}

HandlerAValue::~HandlerAValue() {
  if (node_->facade() == this) node_->set_facade(nullptr);
}

Ref<HandlerAValue> HandlerAValue::Of(const std::shared_ptr<ValueNode>& node) {
  if (HandlerAValue* existing = node->facade()) return RefTo(existing);
  return Ref<HandlerAValue>(new HandlerAValue(node));
}

Variant HandlerAValue::Value() { return node_->Value(); }
void HandlerAValue::Value(const Variant& vNewValue) { node_->LetValue(vNewValue); }
bool HandlerAValue::AutoSet() const { return node_->AutoSet(); }
void HandlerAValue::AutoSet(bool vNewValue) { node_->LetAutoSet(vNewValue); }
bool HandlerAValue::Default() const { return node_->Default(); }
void HandlerAValue::Default(bool vNewValue) { node_->LetDefault(vNewValue); }
std::int32_t HandlerAValue::ParentKey() const { return node_->ParentKey(); }
Ref<HandlerAValues> HandlerAValue::Parent() const { return RefTo(node_->Parent()); }
std::int32_t HandlerAValue::Size() const { return node_->Size(); }
UString HandlerAValue::ValueName() const { return node_->ValueName(); }
std::int32_t HandlerAValue::DataType() const { return node_->DataType(); }
void HandlerAValue::GetValue() { node_->Read(); }
void HandlerAValue::SetValue() { node_->Write(); }
void HandlerAValue::Clear() { node_->Clear(); }
UString HandlerAValue::TypeWord(bool Friendly) const { return node_->TypeWord(Friendly); }

}  // namespace keystrel
