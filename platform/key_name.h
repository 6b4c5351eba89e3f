// Key and value names: the case-insensitive comparison the registry uses, the
// name limits, and splitting a key path into its components.
//
// Names compare by their upper-cased UTF-16 code units, ordinally, a proper
// prefix first: the order of a Windows hive's subkey index. Each code unit is
// folded on its own (surrogates stay as they are).
//
// Thread safety: pure functions.
#ifndef KEYSTREL_PLATFORM_KEY_NAME_H_
#define KEYSTREL_PLATFORM_KEY_NAME_H_

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keystrel::platform {

// Longest key name component, in characters.
inline constexpr std::size_t kMaxKeyNameLength = 255;
// Longest value name, in characters.
inline constexpr std::size_t kMaxValueNameLength = 16383;
// Longest value name a lookup still answers "not found" for; longer is an
// invalid parameter everywhere.
inline constexpr std::size_t kMaxValueNameLookupLength = 32766;
// Longest ANSI sub-key path the A functions convert; longer answers 234.
inline constexpr std::size_t kMaxAnsiSubKeyLength = 260;

namespace detail {
// The upper case of every UTF-16 code unit, built at compile time.
extern const std::array<char16_t, 0x10000> kUpcaseMap;
}  // namespace detail

inline char16_t UpcaseChar(char16_t c) { return detail::kUpcaseMap[c]; }

// The folded (upper-cased) form names are compared and indexed by.
std::u16string FoldName(std::u16string_view name);

// True when the two names are the same without regard to case.
bool NamesEqual(std::u16string_view a, std::u16string_view b);

// A key path split on backslashes, empty components skipped ("a\\b\" is a, b).
// The components view into the path given, which must outlive this object.
class KeyPath {
 public:
  KeyPath() = default;
  explicit KeyPath(std::u16string_view path) { Assign(path); }
  // Splits another path, forgetting the previous one.
  void Assign(std::u16string_view path);
  KeyPath(const KeyPath&) = delete;
  KeyPath& operator=(const KeyPath&) = delete;

  std::span<const std::u16string_view> components() const {
    return heap_.empty() ? std::span<const std::u16string_view>(inline_.data(), size_)
                         : std::span<const std::u16string_view>(heap_);
  }
  bool empty() const { return size_ == 0; }
  // The longest component, in characters.
  std::size_t longest() const { return longest_; }

 private:
  static constexpr std::size_t kInline = 16;
  std::array<std::u16string_view, kInline> inline_{};
  std::vector<std::u16string_view> heap_;
  std::size_t size_ = 0;
  std::size_t longest_ = 0;
};

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_KEY_NAME_H_
