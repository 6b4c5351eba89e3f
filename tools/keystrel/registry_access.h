// The tool's way to the registry: the platform's Win32-shaped A functions,
// with handles closed by their owners, names and text converted between
// UTF-16 and the ANSI code page (a name the code page cannot hold is refused,
// never stored with '?' in it), and growing buffers for names and data.
#ifndef KEYSTREL_TOOLS_KEYSTREL_REGISTRY_ACCESS_H_
#define KEYSTREL_TOOLS_KEYSTREL_REGISTRY_ACCESS_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "tools/keystrel/ansi_codec.h"
#include "tools/keystrel/key_path.h"
#include "tools/keystrel/reg_file.h"

namespace keystrel::cli {

using platform::DWORD;
using platform::HKEY;
using platform::LONG;
using platform::REGSAM;

// A name or text that the ANSI code page cannot represent.
inline constexpr LONG kErrorUnmappable = -2;
// A name in the store that came back through the code page with '?' in it,
// so it can no longer be reached by name.
inline constexpr LONG kErrorLostName = -3;

// The platform's code page (platform/ansi.h).
class PlatformAnsiCodec : public AnsiCodec {
 public:
  bool ToAnsi(std::u16string_view text, std::string* out) const override;
  std::u16string FromAnsi(std::string_view bytes) const override;
  unsigned CodePage() const override;
};

// An open key, closed when the handle goes. Predefined roots are not owned.
class KeyHandle {
 public:
  KeyHandle() = default;
  KeyHandle(HKEY key, bool owned) : key_(key), owned_(owned) {}
  KeyHandle(KeyHandle&& other) noexcept { *this = std::move(other); }
  KeyHandle& operator=(KeyHandle&& other) noexcept;
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  ~KeyHandle() { Reset(); }

  HKEY get() const { return key_; }
  void Reset();

 private:
  HKEY key_ = nullptr;
  bool owned_ = false;
};

class Registry {
 public:
  explicit Registry(const AnsiCodec& codec) : codec_(codec) {}

  // The root of `key` on its computer (connected when remote).
  LONG Root(const KeyArgument& key, KeyHandle* out) const;
  // Opens or creates `subkey` below `parent` (empty: a new handle to `parent`).
  LONG Open(HKEY parent, std::u16string_view subkey, REGSAM sam, KeyHandle* out) const;
  LONG Create(HKEY parent, std::u16string_view subkey, KeyHandle* out,
              REGSAM sam = platform::KEY_ALL_ACCESS) const;

  // 259 past the last item. A value whose name the code page lost gives
  // kErrorLostName.
  LONG EnumSubkey(HKEY key, DWORD index, std::u16string* name) const;
  LONG EnumValue(HKEY key, DWORD index, RegValue* value) const;
  // Open for a name EnumSubkey gave: kErrorLostName when the code page lost it.
  LONG OpenChild(HKEY parent, std::u16string_view name, REGSAM sam, KeyHandle* out) const;
  LONG QueryValue(HKEY key, std::u16string_view name, RegValue* value) const;
  // Text types take UTF-16LE data; it is stored byte for byte as given
  // (no terminator added).
  LONG SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                std::span<const std::uint8_t> data) const;
  LONG DeleteValue(HKEY key, std::u16string_view name) const;
  LONG DeleteAllValues(HKEY key) const;
  // Deletes `subkey` of `parent` with everything below it.
  LONG DeleteTree(HKEY parent, std::u16string_view subkey) const;

  const AnsiCodec& codec() const { return codec_; }

 private:
  LONG Name(std::u16string_view name, std::string* out) const;

  const AnsiCodec& codec_;
};

// The sentence reg.exe prints for a registry result ("Access is denied.").
std::string DescribeError(LONG code, const AnsiCodec& codec);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_REGISTRY_ACCESS_H_
