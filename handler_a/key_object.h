// clsZqRegyHandlerAKeyA: one key as the subkey enumeration or GetKeyObject of
// clsZqRegyHandlerA saw it: its name (the default member), its handle (0 for
// enumerated subkeys), whether it had subkeys, the collection that holds it
// and, from GetKeyObject, its values. Only the library makes key objects.
//
// Holding a key object keeps its collection (Parent) and its handler alive.
// The handle is a copy: a key object never opens or closes a key.
#ifndef KEYSTREL_HANDLER_A_KEY_OBJECT_H_
#define KEYSTREL_HANDLER_A_KEY_OBJECT_H_

#include <cstdint>
#include <memory>

#include "frame/object.h"
#include "frame/ustring.h"

namespace keystrel {

class HandlerAKeys;
class HandlerAValues;
namespace handler_a_detail {
class KeyNode;
}

class HandlerAKey final : public Object {
 public:
  ~HandlerAKey() override;
  const ClassInfo* class_info() const noexcept override;

  bool HadChildrenOnEnum() const;
  std::int32_t Handle() const;
  Ref<HandlerAKeys> Parent() const;
  UString KeyName() const;
  Ref<HandlerAValues> Values() const;

  // The object standing for `node`: the one clients already hold, or a new one.
  static Ref<HandlerAKey> Of(const std::shared_ptr<handler_a_detail::KeyNode>& node);
  const std::shared_ptr<handler_a_detail::KeyNode>& node() const { return node_; }

 private:
  friend class handler_a_detail::KeyNode;
  explicit HandlerAKey(std::shared_ptr<handler_a_detail::KeyNode> node);

  std::shared_ptr<handler_a_detail::KeyNode> node_;
  Ref<HandlerAKeys> parent_;  // keeps the collection alive for this holder
};

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_A_KEY_OBJECT_H_
