// The automation layer's keyed Collection: an ordered list of variants, each
// optionally under a string key.
//
// - Add(item, key, before, after): appends (the library never gives the
//   position arguments; when given they are honoured as the runtime does). A
//   key is unique without regard to case; the empty string is an ordinary key.
//   A second item under a present key raises 457.
// - Item(index): a position 1..Count (numbers are rounded as CLng does) or a
//   key; a position outside raises 9, a key that matches nothing raises 5.
// - Count; Remove(index) with the same index rules; for-each in order.
// - An array item is stored as a copy of the array at the time of Add.
//
// Late-bound: Add, Count, Item (default member, dispatch identifier 0),
// Remove, _NewEnum (-4), registered in the catalogue as the runtime class
// "Collection".
#ifndef KEYSTREL_FRAME_COLLECTION_H_
#define KEYSTREL_FRAME_COLLECTION_H_

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "frame/dispatch.h"
#include "frame/object.h"
#include "frame/variant.h"

namespace keystrel {

class Collection : public Object {
 public:
  static Ref<Collection> Create() { return MakeRef<Collection>(); }

  // `key`, `before`, `after`: the missing marker when not given.
  void Add(const Variant& item, const Variant& key = Variant::Missing(),
           const Variant& before = Variant::Missing(), const Variant& after = Variant::Missing());
  const Variant& Item(const Variant& index) const;
  std::int32_t Count() const noexcept { return static_cast<std::int32_t>(items_.size()); }
  void Remove(const Variant& index);
  Ref<Enumerator> NewEnum() const;

  // Native access for the library's own code.
  const Variant& at(std::int32_t position) const;  // 1-based; error 9
  std::optional<std::int32_t> FindKey(UStringView key) const;  // 1-based position

  const ClassInfo* class_info() const noexcept override;

  Collection() = default;

 private:
  std::size_t PositionOf(const Variant& index) const;  // 0-based; raises 9 / 5

  struct Entry {
    Variant item;
    std::optional<UString> key;
  };
  void Insert(std::size_t pos, Entry entry);

  std::vector<Entry> items_;
  // Key -> 0-based position, so key lookups and the duplicate test on Add do
  // not walk the list.
  std::map<UString, std::size_t, TextLess> keys_;
};

// Registers "Collection" in the catalogue (done by RegisterFrameClasses).
void RegisterCollectionClass();

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_COLLECTION_H_
