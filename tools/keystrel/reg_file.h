// What the .reg reader and writer share: the two formats, the value types
// that hold text, and the in-memory form of a value.
//
// Value data is held as the registry holds it: the text of REG_SZ,
// REG_EXPAND_SZ and REG_MULTI_SZ as UTF-16LE bytes (whatever the file's
// encoding), every other type as raw bytes.
#ifndef KEYSTREL_TOOLS_KEYSTREL_REG_FILE_H_
#define KEYSTREL_TOOLS_KEYSTREL_REG_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace keystrel::cli {

enum class RegFormat {
  kRegedit4,  // "REGEDIT4", 8-bit text in the ANSI code page
  kRegedit5,  // "Windows Registry Editor Version 5.00", UTF-16LE with BOM
};

inline constexpr std::u16string_view kRegedit4Header = u"REGEDIT4";
inline constexpr std::u16string_view kRegedit5Header = u"Windows Registry Editor Version 5.00";

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegResourceList = 8;
inline constexpr std::uint32_t kRegFullResourceDescriptor = 9;
inline constexpr std::uint32_t kRegResourceRequirementsList = 10;
inline constexpr std::uint32_t kRegQword = 11;

// The types the registry converts at the ANSI boundary.
inline bool IsTextType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

struct RegValue {
  std::u16string name;  // empty: the default value
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;

  bool operator==(const RegValue&) const = default;
};

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_REG_FILE_H_
