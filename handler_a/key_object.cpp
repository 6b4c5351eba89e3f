#include "handler_a/key_object.h"

#include "handler_a/handler_a.h"
#include "handler_a/key_node.h"

namespace keystrel {

namespace handler_a_detail {

KeyNode::KeyNode() = default;
KeyNode::~KeyNode() = default;

void KeyNode::SetParent(HandlerAKeys* parent) {
  parent_ = parent;
  if (facade_) facade_->parent_ = RefTo(parent);
}

void KeyNode::ForgetParent(const HandlerAKeys* parent) {
  if (parent_ == parent) parent_ = nullptr;
}

void KeyNode::SetHandler(Ref<HandlerA> handler) { handler_ = std::move(handler); }

void KeyNode::SetKeyName(const UString& name) {
  if (!TextEquals(name, key_name_)) key_name_ = name;
}

void KeyNode::SetValues(Ref<HandlerAValues> values) { values_ = std::move(values); }

}  // namespace handler_a_detail

using handler_a_detail::KeyNode;

HandlerAKey::HandlerAKey(std::shared_ptr<KeyNode> node)
    : node_(std::move(node)), parent_(RefTo(node_->Parent())) {
  node_->set_facade(this);
}

HandlerAKey::~HandlerAKey() {
  if (node_->facade() == this) node_->set_facade(nullptr);
}

Ref<HandlerAKey> HandlerAKey::Of(const std::shared_ptr<KeyNode>& node) {
  if (HandlerAKey* existing = node->facade()) return RefTo(existing);
  return Ref<HandlerAKey>(new HandlerAKey(node));
}

bool HandlerAKey::HadChildrenOnEnum() const { return node_->HadChildrenOnEnum(); }
std::int32_t HandlerAKey::Handle() const { return node_->Handle(); }
Ref<HandlerAKeys> HandlerAKey::Parent() const { return RefTo(node_->Parent()); }
UString HandlerAKey::KeyName() const { return node_->KeyName(); }
Ref<HandlerAValues> HandlerAKey::Values() const { return node_->Values(); }

}  // namespace keystrel
