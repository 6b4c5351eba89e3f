// The open-key table of clsZqRegyHandlerA: the handles that OpenKey opened and
// CloseKey has not closed yet, in the order they were added, each under a key
// that is unique without regard to case (the caller's index key, or "_H"
// followed by the handle in upper-case hexadecimal).
//
// An entry can outlive its handle: CloseKey with a handle closes the key but
// leaves an entry that is stored under a caller's index key. Such entries are
// marked closed so that the handler never closes that handle value a second
// time: by then the platform may have given the same value to another key.
#ifndef KEYSTREL_HANDLER_A_OPEN_KEY_TABLE_H_
#define KEYSTREL_HANDLER_A_OPEN_KEY_TABLE_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "frame/ustring.h"
#include "frame/variant.h"

namespace keystrel {

class OpenKeyTable {
 public:
  // "_H" + the handle's 32 bits in upper-case hexadecimal, no leading zeros.
  static UString GeneratedKey(std::int32_t handle);

  std::int32_t Count() const noexcept { return static_cast<std::int32_t>(entries_.size()); }

  // Appends; false (and nothing stored) when `key` is already in use.
  bool Add(std::int32_t handle, UString key);

  // The 0-based slot that `index` names: a string is a key, anything else a
  // 1-based position converted as CLng does. Nothing when no entry matches or
  // the index cannot be converted.
  std::optional<std::size_t> Find(const Variant& index) const;
  std::optional<std::size_t> FindKey(UStringView key) const;

  std::int32_t HandleAt(std::size_t slot) const { return entries_[slot].handle; }
  bool ClosedAt(std::size_t slot) const { return entries_[slot].closed; }
  // A new handle value for the entry; it counts as open again.
  void Replace(std::size_t slot, std::int32_t handle);
  // Drops the entry; returns its handle and whether it was still open.
  std::pair<std::int32_t, bool> RemoveAt(std::size_t slot);
  // Marks every entry holding `handle` as closed.
  void MarkClosed(std::int32_t handle);

  // Empties the table and returns each distinct handle that is still open, in
  // table order.
  std::vector<std::int32_t> TakeOpenHandles();

 private:
  struct Entry {
    UString key;
    std::int32_t handle;
    bool closed;
  };
  std::vector<Entry> entries_;
};

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_A_OPEN_KEY_TABLE_H_
