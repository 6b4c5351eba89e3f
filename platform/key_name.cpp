#include "platform/key_name.h"

#include <cstdint>

namespace keystrel::platform {
namespace {

struct UpcaseRun {
  char16_t first;
  char16_t last;
  std::int32_t delta;
  std::int32_t stride;
};

constexpr UpcaseRun kUpcaseRuns[] = {
#include "platform/internal/upcase_table.inc"
};

constexpr std::array<char16_t, 0x10000> BuildUpcaseMap() {
  std::array<char16_t, 0x10000> map{};
  for (std::size_t c = 0; c < map.size(); ++c) map[c] = static_cast<char16_t>(c);
  for (const UpcaseRun& run : kUpcaseRuns) {
    for (std::uint32_t c = run.first; c <= run.last; c += run.stride) {
      map[c] = static_cast<char16_t>(static_cast<std::int32_t>(c) + run.delta);
    }
  }
  return map;
}

}  // namespace

namespace detail {
constexpr std::array<char16_t, 0x10000> kUpcaseMap = BuildUpcaseMap();
}  // namespace detail

std::u16string FoldName(std::u16string_view name) {
  const auto& map = detail::kUpcaseMap;
  std::u16string folded(name.size(), u'\0');
  for (std::size_t i = 0; i < name.size(); ++i) folded[i] = map[name[i]];
  return folded;
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  const auto& map = detail::kUpcaseMap;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && map[a[i]] != map[b[i]]) return false;
  }
  return true;
}

void KeyPath::Assign(std::u16string_view path) {
  heap_.clear();
  size_ = 0;
  longest_ = 0;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) {
      std::u16string_view part = path.substr(start, end - start);
      if (part.size() > longest_) longest_ = part.size();
      if (size_ < kInline && heap_.empty()) {
        inline_[size_] = part;
      } else {
        if (heap_.empty()) heap_.assign(inline_.begin(), inline_.begin() + size_);
        heap_.push_back(part);
      }
      ++size_;
    }
    start = end + 1;
  }
}

}  // namespace keystrel::platform
