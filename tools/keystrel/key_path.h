// Root keys and key names as the tool's users write them: on the command line
// ("[\\Machine\]ROOT[\Subkey]", abbreviations allowed) and in .reg files
// (full root names).
#ifndef KEYSTREL_TOOLS_KEYSTREL_KEY_PATH_H_
#define KEYSTREL_TOOLS_KEYSTREL_KEY_PATH_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/keystrel/status.h"

namespace keystrel::cli {

struct RootInfo {
  std::u16string_view long_name;     // HKEY_CURRENT_USER
  std::u16string_view abbreviation;  // HKCU; empty when there is none
  std::uint32_t handle;              // the predefined handle's 32-bit value
  bool remote;                       // reachable on other computers
};

// The root named `name` (case-insensitive), or nullptr. Abbreviations match
// only with `allow_abbreviation`.
const RootInfo* FindRoot(std::u16string_view name, bool allow_abbreviation);

// A key as given on the command line.
struct KeyArgument {
  std::u16string machine;  // without the leading "\\"; empty for this computer
  const RootInfo* root = nullptr;
  std::u16string subkey;   // the user's spelling, no leading or trailing "\"

  // "HKEY_CURRENT_USER\Software\X" (with "\\MACHINE\" in front if remote).
  std::u16string FullPath() const;
  bool IsRoot() const { return subkey.empty(); }
};

enum class KeySyntax {
  kLenient,  // "HKCU\" names the root, as query and delete accept it
  kAdd,      // "HKCU\" is invalid, as add and copy have it
};

// Parses "[\\Machine\]ROOT[\Subkey]". One trailing "\" is dropped; two, a
// leading "\", an unknown root or a root not served remotely fail.
Status ParseKeyArgument(std::u16string_view text, KeySyntax syntax, KeyArgument* out);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_KEY_PATH_H_
