// clsZqRegyHandlerAKeysA: the key objects for the subkeys of one key (Handle),
// in the order added, each under an optional key that is unique without
// regard to case. Item (the default member), Remove, Count and for-each
// behave as the automation layer's keyed Collection, errors included (9 for a
// position outside 1..Count, 5 for an unknown key, 457 for a key in use).
// Only the library makes these collections; clients may add, remove and clear.
#ifndef KEYSTREL_HANDLER_A_KEY_COLLECTION_H_
#define KEYSTREL_HANDLER_A_KEY_COLLECTION_H_

#include <cstdint>
#include <memory>

#include "frame/dispatch.h"
#include "frame/object.h"
#include "frame/variant.h"
#include "handler_a/node_list.h"

namespace keystrel {

class HandlerA;
class HandlerAKey;
namespace handler_a_detail {
class KeyNode;
}

class HandlerAKeys final : public Object {
 public:
  ~HandlerAKeys() override;
  const ClassInfo* class_info() const noexcept override;

  std::int32_t Handle() const { return handle_; }
  // A new key object named sName with handle dwHandle, under sKey unless it
  // is empty; 457 (and no change) when sKey is in use.
  Ref<HandlerAKey> Add(const UString& sName, std::int32_t dwHandle = 0, const UString& sKey = {});
  std::int32_t Count() const { return items_.Count(); }
  void Remove(const Variant& vntIndexKey);
  // Releases every item; Handle stays.
  void Clear() { items_.Clear(); }
  Ref<Enumerator> NewEnum() const;
  Ref<HandlerAKey> Item(const Variant& vntIndexKey) const;

 private:
  friend class HandlerA;
  HandlerAKeys();
  static Ref<HandlerAKeys> Make();
  void SetHandle(std::int32_t handle) { handle_ = handle; }
  void SetHandler(Ref<HandlerA> handler);
  std::shared_ptr<handler_a_detail::KeyNode> AddNode(const UString& name, std::int32_t handle,
                                                     const UString& key);

  // Declared first so that it goes last: the items end before the handler link.
  Ref<HandlerA> handler_;
  std::int32_t handle_ = 0;
  handler_a_detail::NodeList<handler_a_detail::KeyNode> items_;
};

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_A_KEY_COLLECTION_H_
