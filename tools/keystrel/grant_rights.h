// Access rights as `keystrel grant` reads and shows them.
#ifndef KEYSTREL_TOOLS_KEYSTREL_GRANT_RIGHTS_H_
#define KEYSTREL_TOOLS_KEYSTREL_GRANT_RIGHTS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace keystrel::cli {

// A number (decimal or 0x hex) or names joined by "|" or "," (ALL, READ,
// WRITE, EXECUTE, QUERY_VALUE, SET_VALUE, CREATE_SUB_KEY,
// ENUMERATE_SUB_KEYS, NOTIFY, CREATE_LINK, NONE; optional KEY_ prefix, any
// case). False when a part is none of these.
bool ParseRights(std::u16string_view text, std::uint32_t* rights);

// "0x20019".
std::u16string FormatRightsNumber(std::uint32_t rights);

// "KEY_READ", "KEY_QUERY_VALUE | KEY_NOTIFY", "(none)": the named set when
// one matches exactly, else the single rights, with any unnamed bits as a
// number at the end.
std::u16string DescribeRights(std::uint32_t rights);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_GRANT_RIGHTS_H_
