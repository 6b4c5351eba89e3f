// Wildcard matching for `query /f`: * matches any run of characters and ?
// any one character.
#ifndef KEYSTREL_TOOLS_KEYSTREL_WILDCARD_H_
#define KEYSTREL_TOOLS_KEYSTREL_WILDCARD_H_

#include <string_view>

namespace keystrel::cli {

// With `anywhere` the pattern may match any part of `text`; otherwise all
// of it.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view text, bool case_sensitive,
                   bool anywhere);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_WILDCARD_H_
