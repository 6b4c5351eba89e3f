// What the members of clsZqRegyUtilitesA share at the registry boundary: a key
// handle that closes itself, the conversion of names to the ANSI code page,
// and the source and texts of the class's own errors.
#ifndef KEYSTREL_UTILITIES_INTERNAL_PLATFORM_ACCESS_H_
#define KEYSTREL_UTILITIES_INTERNAL_PLATFORM_ACCESS_H_

#include <cstdint>
#include <optional>
#include <string>

#include "frame/ustring.h"
#include "frame/variant.h"
#include "platform/registry.h"

namespace keystrel::utilities_detail {

// Unqualified platform names resolve to our declarations here and to the
// real <windows.h> ones in the Windows build.
using namespace ::keystrel::platform;  // NOLINT(build/namespaces)

// Error numbers of the class (the object-error base 0x80040000 plus 27049,
// 27050, 27052 and 27053 for the last four).
inline constexpr std::int32_t kKeyFailure = 26001;
inline constexpr std::int32_t kSetValueFailure = static_cast<std::int32_t>(0x800469A9u);
inline constexpr std::int32_t kEnumerationFailure = static_cast<std::int32_t>(0x800469AAu);
inline constexpr std::int32_t kInvalidItemList = static_cast<std::int32_t>(0x800469ACu);
inline constexpr std::int32_t kClassNotDefined = static_cast<std::int32_t>(0x800469ADu);

// The result a write counts as when nothing could be written: invalid data.
inline constexpr LONG kInvalidDataResult = 13;

// Access rights: query value only, and the six key rights together.
inline constexpr REGSAM kQueryAccess = KEY_QUERY_VALUE;
inline constexpr REGSAM kKeyRights = 0x3F;

// Owns one key handle and closes it when it goes out of scope, so every way
// out of a member, errors included, releases what the member opened.
class KeyHandle {
 public:
  KeyHandle() = default;
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  ~KeyHandle() { Close(); }

  // RegOpenKeyExA with options 0. A path the platform cannot be given (see
  // PlatformName) answers 2 without a call. On failure nothing is held.
  LONG Open(std::int32_t root, const UString& path, REGSAM access);
  // RegCreateKeyExA: non-volatile, no class, an all-zero security record;
  // an existing key is opened. Same rule for unusable paths.
  LONG Create(std::int32_t root, const UString& path, REGSAM access);
  void Close() noexcept;

  HKEY get() const noexcept { return key_; }

 private:
  HKEY key_ = nullptr;
};

// `text` in the ANSI code page, or nullopt when it holds a NUL character: the
// platform reads names as C strings, so such a name would silently stand for
// its first part (another key, another value) instead of failing.
std::optional<std::string> PlatformName(UStringView text);

// "keystrel10.czRegyUtilites": the library's file name without extension,
// then the class's suffix.
UString ErrorSource();

// A root as signed decimal text, as the descriptions show it.
UString RootText(std::int32_t root);

// `value` as the set-value description shows it: its text by the automation
// layer's conversion; nothing for Empty and Null; the runtime's type name
// ("Byte()", "Variant()", ...) for arrays and for values that cannot be
// converted. Never raises.
UString DescribeValue(const Variant& value);

}  // namespace keystrel::utilities_detail

#endif  // KEYSTREL_UTILITIES_INTERNAL_PLATFORM_ACCESS_H_
