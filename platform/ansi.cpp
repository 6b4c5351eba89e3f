#include "platform/ansi.h"

#include <iconv.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "platform/internal/ansi_codec.h"

namespace keystrel::platform {
namespace detail {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';
constexpr unsigned kDefaultCodePage = 1252;

iconv_t AsIconv(void* cd) { return static_cast<iconv_t>(cd); }

// iconv names to try for a Windows code page number.
std::string IconvNameFor(unsigned code_page) {
  switch (code_page) {
    case 65001: return "UTF-8";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 51932: return "EUC-JP";
    case 54936: return "GB18030";
    default: break;
  }
  if (code_page >= 28591 && code_page <= 28606) {
    return "ISO-8859-" + std::to_string(code_page - 28590);
  }
  return "CP" + std::to_string(code_page);
}

// The code page number an iconv name stands for, 0 when it has none.
unsigned CodePageFor(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "UTF-8" || upper == "UTF8") return 65001;
  for (std::string_view prefix : {"WINDOWS-", "CP", "IBM", "MS"}) {
    if (upper.starts_with(prefix)) {
      unsigned value = 0;
      auto digits = std::string_view(upper).substr(prefix.size());
      auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (ec == std::errc() && end == digits.data() + digits.size()) return value;
    }
  }
  if (upper.starts_with("ISO-8859-") || upper.starts_with("ISO8859-")) {
    unsigned part = 0;
    auto digits = std::string_view(upper).substr(upper.find('-', 4) + 1);
    std::from_chars(digits.data(), digits.data() + digits.size(), part);
    if (part > 0) return 28590 + part;
  }
  return 0;
}

std::atomic<const AnsiCodec*> g_testing_codec{nullptr};

}  // namespace

AnsiCodec::AnsiCodec(unsigned code_page, std::string iconv_name)
    : code_page_(code_page), iconv_name_(std::move(iconv_name)) {}

AnsiCodec::~AnsiCodec() {
  if (to_wide_cd_) iconv_close(AsIconv(to_wide_cd_));
  if (to_ansi_cd_) iconv_close(AsIconv(to_ansi_cd_));
}

std::unique_ptr<AnsiCodec> AnsiCodec::ForCodePage(unsigned code_page) {
  std::unique_ptr<AnsiCodec> codec(new AnsiCodec(code_page, IconvNameFor(code_page)));
  if (codec->Init()) return codec;
  // glibc knows some code pages only by their WINDOWS- or IBM- names.
  for (const char* prefix : {"WINDOWS-", "IBM"}) {
    codec.reset(new AnsiCodec(code_page, prefix + std::to_string(code_page)));
    if (codec->Init()) return codec;
  }
  return nullptr;
}

std::unique_ptr<AnsiCodec> AnsiCodec::FromSetting(std::string_view setting) {
  unsigned number = 0;
  auto [end, ec] = std::from_chars(setting.data(), setting.data() + setting.size(), number);
  if (ec == std::errc() && end == setting.data() + setting.size()) return ForCodePage(number);
  std::unique_ptr<AnsiCodec> codec(new AnsiCodec(CodePageFor(setting), std::string(setting)));
  if (codec->Init()) return codec;
  return nullptr;
}

std::unique_ptr<AnsiCodec> AnsiCodec::Latin1() {
  std::unique_ptr<AnsiCodec> codec(new AnsiCodec(28591, "ISO-8859-1"));
  codec->single_byte_ = true;
  for (unsigned b = 0; b < 256; ++b) codec->to_wide_[b] = static_cast<char16_t>(b);
  codec->to_ansi_.reset(new unsigned char[0x10000]());
  for (unsigned b = 0; b < 256; ++b) codec->to_ansi_[b] = static_cast<unsigned char>(b);
  return codec;
}

bool AnsiCodec::Init() {
  iconv_t to_wide = iconv_open("UTF-16LE", iconv_name_.c_str());
  if (to_wide == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_t to_ansi = iconv_open(iconv_name_.c_str(), "UTF-16LE");
  if (to_ansi == reinterpret_cast<iconv_t>(-1)) {
    iconv_close(to_wide);
    return false;
  }
  to_wide_cd_ = to_wide;
  to_ansi_cd_ = to_ansi;

  // Ask iconv about every byte alone: a byte that is the start of a longer
  // sequence (EINVAL) makes this a multi-byte code page.
  single_byte_ = code_page_ != 65001;
  for (unsigned b = 0; b < 256 && single_byte_; ++b) {
    char in = static_cast<char>(b);
    char16_t out[4];
    char* in_ptr = &in;
    std::size_t in_left = 1;
    char* out_ptr = reinterpret_cast<char*>(out);
    std::size_t out_left = sizeof(out);
    iconv(to_wide, nullptr, nullptr, nullptr, nullptr);
    std::size_t rc = iconv(to_wide, &in_ptr, &in_left, &out_ptr, &out_left);
    std::size_t produced = (sizeof(out) - out_left) / sizeof(char16_t);
    if (rc == static_cast<std::size_t>(-1) && errno == EINVAL) {
      single_byte_ = false;
    } else if (rc == static_cast<std::size_t>(-1) || produced != 1) {
      to_wide_[b] = static_cast<char16_t>(b);  // undefined byte: the platform's identity
    } else {
      to_wide_[b] = out[0];
    }
  }
  if (single_byte_) {
    to_ansi_.reset(new unsigned char[0x10000]());
    for (unsigned b = 256; b-- > 0;) to_ansi_[to_wide_[b]] = static_cast<unsigned char>(b);
  }
  return true;
}

void AnsiCodec::Decode(std::string_view bytes, std::u16string& out) const {
  if (!single_byte_) return DecodeWithIconv(bytes, out);
  out.resize(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[i] = to_wide_[static_cast<unsigned char>(bytes[i])];
  }
}

void AnsiCodec::Encode(std::u16string_view text, std::string& out) const {
  if (!single_byte_) return EncodeWithIconv(text, out);
  out.resize(text.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    unsigned char b = to_ansi_[unit];
    out[n++] = to_wide_[b] == unit ? static_cast<char>(b) : '?';
    // A surrogate pair is one character: one '?'.
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      ++i;
    }
  }
  out.resize(n);
}

void AnsiCodec::DecodeWithIconv(std::string_view bytes, std::u16string& out) const {
  std::lock_guard lock(iconv_mu_);
  iconv_t cd = AsIconv(to_wide_cd_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.assign(bytes.size() + 1, u'\0');  // never more units than bytes
  char* in_ptr = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  char* out_ptr = reinterpret_cast<char*>(out.data());
  std::size_t out_left = out.size() * sizeof(char16_t);
  while (in_left > 0) {
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) break;  // cannot happen: one unit per byte at most
    // An undecodable or truncated sequence: one replacement per bad byte.
    std::memcpy(out_ptr, &kReplacement, sizeof(kReplacement));
    out_ptr += sizeof(char16_t);
    out_left -= sizeof(char16_t);
    ++in_ptr;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize((out.size() * sizeof(char16_t) - out_left) / sizeof(char16_t));
}

void AnsiCodec::EncodeWithIconv(std::u16string_view text, std::string& out) const {
  std::lock_guard lock(iconv_mu_);
  iconv_t cd = AsIconv(to_ansi_cd_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.assign(text.size() * 4 + 4, '\0');
  char* in_ptr = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  std::size_t in_left = text.size() * sizeof(char16_t);
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  while (in_left > 0) {
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) break;  // cannot happen: four bytes per unit at most
    // Unmappable character or lone surrogate: one '?' per code point.
    const char16_t* unit = reinterpret_cast<const char16_t*>(in_ptr);
    std::size_t skip = 1;
    if (*unit >= 0xD800 && *unit < 0xDC00 && in_left >= 4 && unit[1] >= 0xDC00 &&
        unit[1] < 0xE000) {
      skip = 2;
    }
    *out_ptr++ = '?';
    --out_left;
    in_ptr += skip * sizeof(char16_t);
    in_left -= skip * sizeof(char16_t);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Flush any shift state (stateful encodings).
  iconv(cd, nullptr, nullptr, &out_ptr, &out_left);
  out.resize(out.size() - out_left);
}

const AnsiCodec& CurrentCodec() {
  if (const AnsiCodec* testing = g_testing_codec.load(std::memory_order_acquire)) return *testing;
  // Read once per process; an unknown setting falls back to the default
  // rather than leaving the process without a code page.
  static const AnsiCodec* codec = [] {
    const char* setting = std::getenv("KEYSTREL_ACP");
    std::unique_ptr<AnsiCodec> chosen;
    if (setting && *setting) chosen = AnsiCodec::FromSetting(setting);
    if (!chosen) chosen = AnsiCodec::ForCodePage(kDefaultCodePage);
    if (!chosen) chosen = AnsiCodec::Latin1();  // a C library without code page modules
    return chosen.release();
  }();
  return *codec;
}

void SetCodecForTesting(const AnsiCodec* codec) {
  g_testing_codec.store(codec, std::memory_order_release);
}

}  // namespace detail

std::string ToAnsi(std::u16string_view text) {
  std::string out;
  detail::CurrentCodec().Encode(text, out);
  return out;
}

std::u16string FromAnsi(std::string_view bytes) {
  std::u16string out;
  detail::CurrentCodec().Decode(bytes, out);
  return out;
}

unsigned AnsiCodePage() { return detail::CurrentCodec().code_page(); }

}  // namespace keystrel::platform
