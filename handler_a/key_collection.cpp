#include "handler_a/key_collection.h"

#include "handler_a/handler_a.h"
#include "handler_a/key_node.h"

namespace keystrel {

using handler_a_detail::KeyNode;

HandlerAKeys::HandlerAKeys() = default;

HandlerAKeys::~HandlerAKeys() {
  items_.ForEachNode([this](KeyNode& node) { node.ForgetParent(this); });
}

Ref<HandlerAKeys> HandlerAKeys::Make() { return Ref<HandlerAKeys>(new HandlerAKeys()); }

void HandlerAKeys::SetHandler(Ref<HandlerA> handler) { handler_ = std::move(handler); }

std::shared_ptr<KeyNode> HandlerAKeys::AddNode(const UString& name, std::int32_t handle,
                                               const UString& key) {
  auto node = std::make_shared<KeyNode>();
  node->SetParent(this);
  node->SetHandler(handler_);
  node->SetHandle(handle);
  node->SetKeyName(name);
  items_.Add(node, key);
  return node;
}

Ref<HandlerAKey> HandlerAKeys::Add(const UString& sName, std::int32_t dwHandle,
                                   const UString& sKey) {
  return HandlerAKey::Of(AddNode(sName, dwHandle, sKey));
}

void HandlerAKeys::Remove(const Variant& vntIndexKey) { items_.Remove(vntIndexKey); }

Ref<Enumerator> HandlerAKeys::NewEnum() const {
  std::vector<Variant> items;
  for (const auto& node : items_.InOrder()) items.push_back(Variant::Object(HandlerAKey::Of(node)));
  return MakeSnapshotEnumerator(std::move(items));
}

Ref<HandlerAKey> HandlerAKeys::Item(const Variant& vntIndexKey) const {
  return HandlerAKey::Of(items_.Item(vntIndexKey));
}

}  // namespace keystrel
