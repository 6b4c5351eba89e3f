// The conversion between UTF-16 and one ANSI code page, built on iconv.
//
// Single-byte code pages (1250-1258, 874, ...) are turned into two tables once,
// from iconv's own answers, so the hot paths are one lookup per character;
// multi-byte code pages (932, 936, 949, 950, 65001) go through iconv on every
// call. Unmappable characters become '?' (no best fit); bytes a single-byte
// code page leaves undefined map to U+00xx as the platform maps them; bytes
// that do not decode in a multi-byte code page become U+FFFD.
//
// Thread safety: const members are safe from any thread.
#ifndef KEYSTREL_PLATFORM_INTERNAL_ANSI_CODEC_H_
#define KEYSTREL_PLATFORM_INTERNAL_ANSI_CODEC_H_

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace keystrel::platform::detail {

class AnsiCodec {
 public:
  // The codec for a KEYSTREL_ACP setting: a code page number ("1251") or an
  // iconv name ("KOI8-R"). Null when iconv knows no such code page.
  static std::unique_ptr<AnsiCodec> FromSetting(std::string_view setting);
  static std::unique_ptr<AnsiCodec> ForCodePage(unsigned code_page);
  // ISO 8859-1 from tables alone, for a C library without iconv modules.
  static std::unique_ptr<AnsiCodec> Latin1();

  ~AnsiCodec();

  unsigned code_page() const { return code_page_; }
  bool single_byte() const { return single_byte_; }

  // Replace `out` with the conversion (capacity is reused).
  void Decode(std::string_view bytes, std::u16string& out) const;
  void Encode(std::u16string_view text, std::string& out) const;

 private:
  AnsiCodec(unsigned code_page, std::string iconv_name);
  bool Init();
  void DecodeWithIconv(std::string_view bytes, std::u16string& out) const;
  void EncodeWithIconv(std::u16string_view text, std::string& out) const;

  unsigned code_page_;
  std::string iconv_name_;
  bool single_byte_ = false;
  std::array<char16_t, 256> to_wide_{};
  // For single-byte code pages: the byte for each UTF-16 unit; a unit maps
  // only when to_wide_ of its byte gives it back.
  std::unique_ptr<unsigned char[]> to_ansi_;
  mutable std::mutex iconv_mu_;  // iconv descriptors are not thread-safe
  void* to_wide_cd_ = nullptr;
  void* to_ansi_cd_ = nullptr;
};

// The codec in force for the process: KEYSTREL_ACP, else 1252.
const AnsiCodec& CurrentCodec();

// Tests only: makes `codec` (owned by the caller, kept alive while in use)
// the process's codec; null restores the configured one.
void SetCodecForTesting(const AnsiCodec* codec);

}  // namespace keystrel::platform::detail

#endif  // KEYSTREL_PLATFORM_INTERNAL_ANSI_CODEC_H_
