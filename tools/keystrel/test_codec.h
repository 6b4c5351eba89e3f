// Code page 1252 without the platform, for the tests of the .reg reader and
// writer. Unmappable characters become '?', as the platform's conversion does.
#ifndef KEYSTREL_TOOLS_KEYSTREL_TEST_CODEC_H_
#define KEYSTREL_TOOLS_KEYSTREL_TEST_CODEC_H_

#include <string>
#include <string_view>

#include "tools/keystrel/ansi_codec.h"

namespace keystrel::cli::testing {

class Cp1252Codec : public AnsiCodec {
 public:
  bool ToAnsi(std::u16string_view text, std::string* out) const override {
    out->clear();
    bool exact = true;
    for (char16_t c : text) {
      int b = -1;
      if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        b = c;
      } else {
        for (int i = 0; i < 32; ++i) {
          if (kHigh[i] == c && c != 0xFFFD) b = 0x80 + i;
        }
      }
      if (b < 0) {
        exact = false;
        b = '?';
      }
      out->push_back(static_cast<char>(b));
    }
    return exact;
  }
  std::u16string FromAnsi(std::string_view bytes) const override {
    std::u16string out;
    for (char ch : bytes) {
      const auto b = static_cast<unsigned char>(ch);
      out.push_back(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b);
    }
    return out;
  }
  unsigned CodePage() const override { return 1252; }

 private:
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
};

}  // namespace keystrel::cli::testing

#endif  // KEYSTREL_TOOLS_KEYSTREL_TEST_CODEC_H_
