#include "handler_a/open_key_table.h"

#include <algorithm>
#include <cstdio>

#include "frame/convert.h"
#include "frame/error.h"

namespace keystrel {

UString OpenKeyTable::GeneratedKey(std::int32_t handle) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(static_cast<std::uint32_t>(handle)));
  UString key = u"_H";
  for (const char* p = hex; *p != '\0'; ++p) key.push_back(static_cast<char16_t>(*p));
  return key;
}

bool OpenKeyTable::Add(std::int32_t handle, UString key) {
  if (FindKey(key)) return false;
  entries_.push_back(Entry{std::move(key), handle, false});
  return true;
}

std::optional<std::size_t> OpenKeyTable::FindKey(UStringView key) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (TextEquals(entries_[i].key, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> OpenKeyTable::Find(const Variant& index) const {
  if (index.is_string()) return FindKey(index.string());
  std::int32_t position = 0;
  try {
    position = ToLong(index);
  } catch (const AutomationError&) {
    return std::nullopt;  // an index that is neither a key nor a number matches nothing
  }
  if (position < 1 || position > Count()) return std::nullopt;
  return static_cast<std::size_t>(position - 1);
}

void OpenKeyTable::Replace(std::size_t slot, std::int32_t handle) {
  entries_[slot].handle = handle;
  entries_[slot].closed = false;
}

std::pair<std::int32_t, bool> OpenKeyTable::RemoveAt(std::size_t slot) {
  const Entry entry = entries_[slot];
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(slot));
  return {entry.handle, !entry.closed};
}

void OpenKeyTable::MarkClosed(std::int32_t handle) {
  for (Entry& e : entries_) {
    if (e.handle == handle) e.closed = true;
  }
}

std::vector<std::int32_t> OpenKeyTable::TakeOpenHandles() {
  std::vector<std::int32_t> open;
  for (const Entry& e : entries_) {
    if (!e.closed && std::find(open.begin(), open.end(), e.handle) == open.end()) {
      open.push_back(e.handle);
    }
  }
  entries_.clear();
  return open;
}

}  // namespace keystrel
