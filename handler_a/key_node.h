// The state of one key object (clsZqRegyHandlerAKeyA), kept apart from the
// automation object that clients hold, for the reason value_node.h gives: the
// keys collection owns its items' states, and a client-visible key object
// owns its state and its collection.
#ifndef KEYSTREL_HANDLER_A_KEY_NODE_H_
#define KEYSTREL_HANDLER_A_KEY_NODE_H_

#include <cstdint>

#include "frame/object.h"
#include "frame/ustring.h"

namespace keystrel {

class HandlerA;
class HandlerAKey;
class HandlerAKeys;
class HandlerAValues;

namespace handler_a_detail {

class KeyNode {
 public:
  KeyNode();
  ~KeyNode();
  KeyNode(const KeyNode&) = delete;
  KeyNode& operator=(const KeyNode&) = delete;

  bool HadChildrenOnEnum() const { return had_children_; }
  std::int32_t Handle() const { return handle_; }
  HandlerAKeys* Parent() const { return parent_; }
  const UString& KeyName() const { return key_name_; }
  const Ref<HandlerAValues>& Values() const { return values_; }

  void SetHadChildrenOnEnum(bool value) { had_children_ = value; }
  void SetHandle(std::int32_t handle) { handle_ = handle; }
  void SetParent(HandlerAKeys* parent);
  void SetHandler(Ref<HandlerA> handler);
  // Keeps the current spelling when the new name differs only in case.
  void SetKeyName(const UString& name);
  void SetValues(Ref<HandlerAValues> values);

  HandlerAKey* facade() const { return facade_; }
  void set_facade(HandlerAKey* facade) { facade_ = facade; }
  void ForgetParent(const HandlerAKeys* parent);

 private:
  Ref<HandlerA> handler_;
  std::int32_t handle_ = 0;
  HandlerAKeys* parent_ = nullptr;
  Ref<HandlerAValues> values_;
  UString key_name_;
  bool had_children_ = false;
  HandlerAKey* facade_ = nullptr;
};

}  // namespace handler_a_detail
}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_A_KEY_NODE_H_
