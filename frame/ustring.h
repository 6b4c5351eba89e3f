// Strings of the automation layer: counted UTF-16 text that may hold NUL
// characters. std::u16string is exactly that, so it is our string; this header
// adds the conversions and the case-insensitive text comparison every class
// uses.
//
// Text comparison follows the runtime's text-compare mode for US English:
// characters are compared after simple upper-case folding (so "été" equals
// "ÉTÉ"), NUL is an ordinary character.
#ifndef KEYSTREL_FRAME_USTRING_H_
#define KEYSTREL_FRAME_USTRING_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace keystrel {

using UString = std::u16string;
using UStringView = std::u16string_view;

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD; never throws.
UString Utf8ToU(std::string_view utf8);
std::string UToUtf8(UStringView text);

// Simple upper-case folding of one UTF-16 unit, and of a whole string.
char16_t TextFold(char16_t c);
UString TextUpper(UStringView text);
UString TextLower(UStringView text);

// Case-insensitive comparison: <0, 0, >0.
int TextCompare(UStringView a, UStringView b);
inline bool TextEquals(UStringView a, UStringView b) { return TextCompare(a, b) == 0; }

// Case-insensitive search; returns the 0-based position or UString::npos.
std::size_t TextFind(UStringView haystack, UStringView needle, std::size_t start = 0);

// For ordered containers keyed without regard to case.
struct TextLess {
  using is_transparent = void;
  bool operator()(UStringView a, UStringView b) const { return TextCompare(a, b) < 0; }
};

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_USTRING_H_
