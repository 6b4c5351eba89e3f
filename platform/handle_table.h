// The process's key handles: small positive 32-bit numbers, each naming a key
// of one store and the rights it was opened with. Predefined roots are not in
// the table (registry.cpp resolves them).
//
// Freed numbers are handed out again oldest first, so a handle closed by
// mistake twice is less likely to name someone else's key by then.
//
// Thread safety: safe from any thread.
#ifndef KEYSTREL_PLATFORM_HANDLE_TABLE_H_
#define KEYSTREL_PLATFORM_HANDLE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/provider.h"

namespace keystrel::platform {

struct HandleEntry {
  std::shared_ptr<RegistryProvider> store;
  KeyId key = 0;
  std::uint32_t access = 0;
};

class HandleTable {
 public:
  static HandleTable& Instance();

  // The new handle, or 0 when the table is full.
  std::int32_t Insert(HandleEntry entry);
  // False for a handle that is not open.
  bool Lookup(std::int32_t handle, HandleEntry* entry) const;
  bool Remove(std::int32_t handle);
  void RemoveAll();
  std::size_t Count() const;

 private:
  struct Slot {
    HandleEntry entry;
    bool used = false;
  };
  static constexpr std::size_t kMaxHandles = std::size_t{1} << 24;

  mutable std::mutex mu_;
  std::vector<Slot> slots_;
  std::deque<std::uint32_t> free_;
  std::size_t count_ = 0;
};

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_HANDLE_TABLE_H_
