// The item list behind the two collection classes: the keyed Collection of the
// automation layer holds one serial number per item (so Item, Remove, keys and
// their errors behave exactly as the runtime's Collection does), and the
// serial numbers lead to the items' states, which the list owns.
#ifndef KEYSTREL_HANDLER_A_NODE_LIST_H_
#define KEYSTREL_HANDLER_A_NODE_LIST_H_

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "frame/collection.h"
#include "frame/variant.h"

namespace keystrel::handler_a_detail {

template <class Node>
class NodeList {
 public:
  NodeList() : items_(Collection::Create()) {}

  std::int32_t Count() const noexcept { return items_->Count(); }

  // Appends under `key`, or without a key when it is empty. A key already in
  // use raises 457 and leaves the list as it was.
  void Add(std::shared_ptr<Node> node, const UString& key) {
    const std::int32_t id = next_id_;
    items_->Add(Variant::Long(id), key.empty() ? Variant::Missing() : Variant::String(key));
    ++next_id_;
    nodes_.emplace(id, std::move(node));
  }

  // By 1-based position or key; 9 or 5 when nothing matches.
  std::shared_ptr<Node> Item(const Variant& index) const {
    return nodes_.at(items_->Item(index).long_value());
  }

  void Remove(const Variant& index) {
    const std::int32_t id = items_->Item(index).long_value();
    items_->Remove(index);
    // Released after the list is consistent again: the item's end may run
    // code that looks at the list.
    std::shared_ptr<Node> gone = std::move(nodes_.at(id));
    nodes_.erase(id);
  }

  void Clear() {
    std::map<std::int32_t, std::shared_ptr<Node>> gone;
    gone.swap(nodes_);
    items_ = Collection::Create();
  }

  std::vector<std::shared_ptr<Node>> InOrder() const {
    std::vector<std::shared_ptr<Node>> out;
    out.reserve(static_cast<std::size_t>(Count()));
    for (std::int32_t i = 1; i <= Count(); ++i)
      out.push_back(nodes_.at(items_->at(i).long_value()));
    return out;
  }

  template <class Fn>
  void ForEachNode(Fn fn) const {
    for (const auto& [id, node] : nodes_) fn(*node);
  }

 private:
  Ref<Collection> items_;
  std::map<std::int32_t, std::shared_ptr<Node>> nodes_;
  std::int32_t next_id_ = 1;
};

}  // namespace keystrel::handler_a_detail

#endif  // KEYSTREL_HANDLER_A_NODE_LIST_H_
