// UTF-8 <-> UTF-16 for text the host hands over in UTF-8 (host names, the
// environment, configuration files). Malformed bytes become U+FFFD.
#ifndef KEYSTREL_PLATFORM_INTERNAL_UTF8_H_
#define KEYSTREL_PLATFORM_INTERNAL_UTF8_H_

#include <string>
#include <string_view>

namespace keystrel::platform::detail {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace keystrel::platform::detail

#endif  // KEYSTREL_PLATFORM_INTERNAL_UTF8_H_
