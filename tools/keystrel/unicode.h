// Text helpers of the command-line tool: UTF-8 (the terminal and the command
// line) to and from UTF-16 (the registry's own form), case folding for name
// comparisons, and the little-endian byte form of UTF-16 that string values
// hold.
#ifndef KEYSTREL_TOOLS_KEYSTREL_UNICODE_H_
#define KEYSTREL_TOOLS_KEYSTREL_UNICODE_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keystrel::cli {

// Invalid sequences become U+FFFD; `valid` (optional) tells whether any did.
std::u16string Utf8ToUtf16(std::string_view text, bool* valid = nullptr);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Upper-case fold of one code unit, as registry names compare: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic. Other characters fold to themselves.
char16_t FoldCase(char16_t c);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
// Ordinal comparison of the folded names: the order subkeys enumerate in.
int CompareIgnoreCase(std::u16string_view a, std::u16string_view b);

// UTF-16LE bytes of `text`; with `nul` a terminating NUL character is added.
std::vector<std::uint8_t> ToUtf16Bytes(std::u16string_view text, bool nul);
// Code units of UTF-16LE bytes; an odd last byte is dropped.
std::u16string FromUtf16Bytes(std::span<const std::uint8_t> bytes);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_UNICODE_H_
