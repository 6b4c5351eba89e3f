// clsZqRegyHandlerA: the library's global class and the entry point of the
// key/value object model.
//
// A handler keeps a table of the keys it opened (OpenKey), so a client can
// name an open key by an index key of its own, and closes whatever is still in
// the table when it ends. It reads and writes single values with their types,
// converts multi-strings, and walks the subkeys or values of a key, handing
// each item out as a key or value object through a returned collection, the
// KeyEnumerated/ValueEnumerated events, or late-bound calls on a buddy object.
//
// Object graph: a collection owns its items, every item reaches its
// collection (Parent) and the handler, and the handler owns none of them. A
// client holding only an item therefore keeps the collection and the handler
// usable, and the whole graph ends as soon as no client holds any part of it
// (see value_node.h for how that is done without a reference cycle).
//
// Key handles are 32-bit signed values at this surface: a predefined root or a
// handle that OpenKey returned.
//
// Thread safety: none; every call runs on the caller's thread. Client code runs
// inside EnumKeys/EnumValues (events, buddy calls, the yield); from there it
// may call any member, AbortEnum included.
#ifndef KEYSTREL_HANDLER_A_HANDLER_A_H_
#define KEYSTREL_HANDLER_A_HANDLER_A_H_

#include <cstdint>
#include <memory>

#include "frame/events.h"
#include "frame/object.h"
#include "frame/safe_array.h"
#include "frame/variant.h"
#include "handler_a/key_collection.h"
#include "handler_a/key_object.h"
#include "handler_a/open_key_table.h"
#include "handler_a/value_collection.h"
#include "handler_a/value_object.h"

namespace keystrel {

namespace handler_a_detail {
class ValueNode;
}

class HandlerA final : public Object {
 public:
  static Ref<HandlerA> Create();
  ~HandlerA() override;

  const ClassInfo* class_info() const noexcept override;
  EventSource* event_source() noexcept override { return &events_; }

  // The object that receives enumeration callbacks instead of the events.
  Ref<Object> BuddyObject() const { return buddy_; }
  void BuddyObject(Ref<Object> vNewValue) { buddy_ = std::move(vNewValue); }

  // Asks the running (or the next) enumeration to stop after its current step.
  void AbortEnum() { abort_ = true; }

  // The open-key table.
  std::int32_t Count() const { return table_.Count(); }
  // The handle of the entry at a position (1 = oldest) or under a key; -1
  // when none matches.
  std::int32_t Item(const Variant& vntIndexKey) const;
  // Replaces the handle of that entry; no change when none matches.
  void Item(const Variant& vntIndexKey, std::int32_t vNewValue);
  // Opens (or, unless fMustExist, creates) a key with all access and keeps its
  // handle in the table under vntIndexKey or its generated key "_H<hex>".
  // Returns the handle, or -1 when the registry refuses.
  std::int32_t OpenKey(std::int32_t uKey, const UString& szSubKey, bool fMustExist = false,
                       const UString& vntIndexKey = {});
  // A long closes that handle (and drops the entry under its generated key);
  // a string drops and closes the entry under that key; anything else does
  // nothing. Never raises.
  void CloseKey(const Variant& uKey);

  // Values. GetValue decodes by the stored type; a missing value gives a copy
  // of *DefaultValue (written to the registry through SetValue) or Empty.
  // *lpType receives the stored type when the value exists.
  Variant GetValue(std::int32_t uKey, const UString& szValue, Variant* DefaultValue = nullptr,
                   std::int32_t* lpType = nullptr);
  // Splits at every NUL: one item more than vData has NULs. Raises 6 past
  // 32767 NULs.
  SafeArray GetMultiSZ(const UString& vData);
  // Each item followed by a NUL, then one more NUL.
  UString ToMultiSZ(const SafeArray& vData);
  // Writes vData with the type its subtype selects; the missing marker
  // deletes the value. Returns the registry's status, 0 when nothing was
  // written.
  std::int32_t SetValue(std::int32_t uKey, const UString& szValue,
                        const Variant& vData = Variant::Missing());
  Variant DeleteValue(std::int32_t uKey, const UString& szValue);
  Variant DeleteKey(std::int32_t uKey, const UString& szSubKey);

  // Enumeration. Raises 10029 when fRaiseEvents is false and fReturnNothing
  // true. A registry failure other than "no more items" ends the walk with
  // error 5 (a name too long for the 1024-byte buffer skips that item).
  Ref<HandlerAKey> GetKeyObject(std::int32_t uKey, bool fEnumValues = false);
  Ref<HandlerAKeys> EnumKeys(std::int32_t uKey, bool fRaiseEvents = false, bool fDoEvents = false,
                             bool fReturnNothing = false);
  Ref<HandlerAValues> EnumValues(std::int32_t uKey, bool fRaiseEvents = false,
                                 bool fDoEvents = false, bool fReturnNothing = false);

  // Event numbers of __clsZqRegyHandlerA.
  static constexpr std::int32_t kKeyEnumerated = 1;
  static constexpr std::int32_t kValueEnumerated = 2;
  // The event interface, shared with the catalogue entry.
  static std::shared_ptr<const EventInterfaceInfo> EventInterface();

  HandlerA();

 private:
  bool SubkeyHasChildren(std::int32_t uKey, const UString& name);
  void DeliverKey(const UString& name, bool has_children);
  void DeliverValue(const std::shared_ptr<handler_a_detail::ValueNode>& node);
  bool TakeAbortRequest();

  OpenKeyTable table_;
  bool abort_ = false;
  Ref<Object> buddy_;
  EventSource events_;
};

// Adds the five classes of the object model to the catalogue.
void RegisterHandlerAModule();

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_A_HANDLER_A_H_
