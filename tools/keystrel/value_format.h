// Registry value types and data as reg.exe shows and takes them: the type
// names, the data column of `query` output, and the /d text of `add`.
#ifndef KEYSTREL_TOOLS_KEYSTREL_VALUE_FORMAT_H_
#define KEYSTREL_TOOLS_KEYSTREL_VALUE_FORMAT_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/keystrel/status.h"

namespace keystrel::cli {

// "REG_SZ" ... "REG_QWORD"; "REG_UNKNOWN" for other numbers.
std::u16string_view TypeName(std::uint32_t type);

// The type a name stands for (case-insensitive), including
// REG_DWORD_LITTLE_ENDIAN; nullopt when the name is none of them.
std::optional<std::uint32_t> ParseTypeName(std::u16string_view name);

// The data column of `query`: text up to its first NUL, multi-strings joined
// by `separator` (the two characters \0 by default), DWORD and QWORD as 0x
// plus lowercase hex, everything else (and numbers of the wrong size) as
// uppercase hex digits.
std::u16string FormatData(std::uint32_t type, std::span<const std::uint8_t> data,
                          std::u16string_view separator = u"\\0");

// The stored bytes for `add /t type /d data` (data absent: no /d).
// `separator` is the /s character (\0 when absent). Fails with the message
// reg.exe gives for data the type does not accept.
Status ParseAddData(std::uint32_t type, const std::u16string* data,
                    std::optional<char16_t> separator, std::vector<std::uint8_t>* out);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_VALUE_FORMAT_H_
