#include "platform/handle_table.h"

namespace keystrel::platform {
namespace {

// Handles hand out numbers from 1; slot i is handle i + 1.
constexpr std::int32_t HandleOf(std::size_t slot) { return static_cast<std::int32_t>(slot + 1); }

// Freed slots wait this long in line before reuse.
constexpr std::size_t kReuseDelay = 64;

}  // namespace

HandleTable& HandleTable::Instance() {
  // Never destroyed: handles may be closed from static destructors.
  static HandleTable* table = new HandleTable();
  return *table;
}

std::int32_t HandleTable::Insert(HandleEntry entry) {
  std::lock_guard lock(mu_);
  std::size_t slot;
  if (free_.size() > kReuseDelay || (!free_.empty() && slots_.size() >= kMaxHandles)) {
    slot = free_.front();
    free_.pop_front();
  } else if (slots_.size() < kMaxHandles) {
    slot = slots_.size();
    slots_.emplace_back();
  } else {
    return 0;
  }
  slots_[slot].entry = std::move(entry);
  slots_[slot].used = true;
  ++count_;
  return HandleOf(slot);
}

bool HandleTable::Lookup(std::int32_t handle, HandleEntry* entry) const {
  if (handle <= 0) return false;
  std::size_t slot = static_cast<std::size_t>(handle) - 1;
  std::lock_guard lock(mu_);
  if (slot >= slots_.size() || !slots_[slot].used) return false;
  *entry = slots_[slot].entry;
  return true;
}

bool HandleTable::Remove(std::int32_t handle) {
  if (handle <= 0) return false;
  std::size_t slot = static_cast<std::size_t>(handle) - 1;
  std::shared_ptr<RegistryProvider> released;  // destroyed outside the lock
  {
    std::lock_guard lock(mu_);
    if (slot >= slots_.size() || !slots_[slot].used) return false;
    released = std::move(slots_[slot].entry.store);
    slots_[slot] = Slot();
    free_.push_back(static_cast<std::uint32_t>(slot));
    --count_;
  }
  return true;
}

void HandleTable::RemoveAll() {
  std::vector<std::shared_ptr<RegistryProvider>> released;  // destroyed outside the lock
  std::lock_guard lock(mu_);
  for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
    if (!slots_[slot].used) continue;
    released.push_back(std::move(slots_[slot].entry.store));
    slots_[slot] = Slot();
    free_.push_back(static_cast<std::uint32_t>(slot));
  }
  count_ = 0;
}

std::size_t HandleTable::Count() const {
  std::lock_guard lock(mu_);
  return count_;
}

}  // namespace keystrel::platform
