// The ANSI code page boundary. Every string the classes hand to a registry
// function is converted with ToAnsi first, and every text the platform returns
// comes back through FromAnsi.
//
// The code page is the system's: on Windows CP_ACP; elsewhere 1252 unless
// KEYSTREL_ACP names another (a number such as 1251 or 932, or an iconv name),
// read once per process. Characters the code page cannot represent become '?'
// as the platform's best-fit-less conversion does. NUL characters are ordinary
// characters here: the conversion never stops at one.
//
// Thread safety: safe from any thread.
#ifndef KEYSTREL_PLATFORM_ANSI_H_
#define KEYSTREL_PLATFORM_ANSI_H_

#include <string>
#include <string_view>

namespace keystrel::platform {

std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view bytes);

// The code page number in force (1252 by default).
unsigned AnsiCodePage();

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_ANSI_H_
