#include "tools/keystrel/reg_file_writer.h"

#include <vector>

#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

// regedit breaks a hex line once it reaches this column after a "xx,".
constexpr size_t kWrapColumn = 77;
constexpr size_t kIndent = 2;

void AppendEscaped(std::u16string_view text, std::u16string* out) {
  for (char16_t c : text) {
    switch (c) {
      case u'\\': out->append(u"\\\\"); break;
      case u'"': out->append(u"\\\""); break;
      case u'\n': out->append(u"\\n"); break;
      case u'\r': out->append(u"\\r"); break;
      default: out->push_back(c);
    }
  }
}

void AppendHex(unsigned value, std::u16string* out) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  char16_t buf[8];
  int n = 0;
  do {
    buf[n++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (n > 0) out->push_back(buf[--n]);
}

void AppendHexBytes(std::span<const std::uint8_t> data, std::u16string* line) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  size_t column = line->size();
  for (size_t i = 0; i < data.size(); ++i) {
    line->push_back(kDigits[data[i] >> 4]);
    line->push_back(kDigits[data[i] & 0xF]);
    if (i + 1 == data.size()) break;
    line->push_back(u',');
    column += 3;
    if (column >= kWrapColumn) {
      line->append(u"\\\r\n  ");
      column = kIndent;
    }
  }
}

// The text of a REG_SZ that "..." holds without loss: one terminating NUL
// and no other. Anything else goes out as hex(1).
bool PlainString(std::span<const std::uint8_t> data, std::u16string* text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  *text = FromUtf16Bytes(data);
  if (text->back() != u'\0') return false;
  text->pop_back();
  return text->find(u'\0') == std::u16string::npos;
}

}  // namespace

RegFileWriter::RegFileWriter(std::ostream& out, RegFormat format, const AnsiCodec* codec)
    : out_(out), format_(format), codec_(codec) {}

Status RegFileWriter::WriteHeader() {
  if (format_ == RegFormat::kRegedit5) {
    out_.write("\xFF\xFE", 2);
    return WriteLine(kRegedit5Header);
  }
  return WriteLine(kRegedit4Header);
}

Status RegFileWriter::WriteKey(std::u16string_view path) {
  line_.assign(u"\r\n[");
  line_.append(path);
  line_.push_back(u']');
  return WriteLine(line_);
}

Status RegFileWriter::WriteDeleteKey(std::u16string_view path) {
  line_.assign(u"\r\n[-");
  line_.append(path);
  line_.push_back(u']');
  return WriteLine(line_);
}

Status RegFileWriter::WriteValue(std::u16string_view name, std::uint32_t type,
                                 std::span<const std::uint8_t> data) {
  KEYSTREL_RETURN_IF_ERROR(FormatValue(name, type, data, format_, codec_, &line_));
  return WriteLine(line_);
}

Status RegFileWriter::WriteDeleteValue(std::u16string_view name) {
  line_.clear();
  if (name.empty()) {
    line_.push_back(u'@');
  } else {
    line_.push_back(u'"');
    AppendEscaped(name, &line_);
    line_.push_back(u'"');
  }
  line_.append(u"=-");
  return WriteLine(line_);
}

Status RegFileWriter::Finish() {
  KEYSTREL_RETURN_IF_ERROR(WriteLine(u""));
  out_.flush();
  if (!out_) return Status::Fail("writing the file failed");
  return Status::Ok();
}

Status RegFileWriter::FormatValue(std::u16string_view name, std::uint32_t type,
                                  std::span<const std::uint8_t> data, RegFormat format,
                                  const AnsiCodec* codec, std::u16string* line) {
  line->clear();
  if (name.empty()) {
    line->append(u"@=");
  } else {
    line->push_back(u'"');
    AppendEscaped(name, line);
    line->append(u"\"=");
  }
  std::u16string text;
  if (type == kRegSz && PlainString(data, &text)) {
    line->push_back(u'"');
    AppendEscaped(text, line);
    line->push_back(u'"');
    return Status::Ok();
  }
  if (type == kRegDword && data.size() == 4) {
    const std::uint32_t v = data[0] | (data[1] << 8) | (data[2] << 16) |
                            (static_cast<std::uint32_t>(data[3]) << 24);
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    line->append(u"dword:");
    for (int shift = 28; shift >= 0; shift -= 4) line->push_back(kDigits[(v >> shift) & 0xF]);
    return Status::Ok();
  }
  if (type == kRegBinary) {
    line->append(u"hex:");
  } else {
    line->append(u"hex(");
    AppendHex(type, line);
    line->append(u"):");
  }
  if (IsTextType(type) && format == RegFormat::kRegedit4 && !data.empty()) {
    // An 8-bit file holds the ANSI form of the text.
    if (data.size() % 2 != 0) {
      return Status::Fail("its data is not UTF-16 text and has no REGEDIT4 form");
    }
    std::string ansi;
    if (!codec->ToAnsi(FromUtf16Bytes(data), &ansi)) {
      return Status::Fail("its text has characters outside code page " +
                          std::to_string(codec->CodePage()));
    }
    AppendHexBytes(std::span(reinterpret_cast<const std::uint8_t*>(ansi.data()), ansi.size()),
                   line);
    return Status::Ok();
  }
  AppendHexBytes(data, line);
  return Status::Ok();
}

Status RegFileWriter::WriteLine(std::u16string_view text) {
  if (format_ == RegFormat::kRegedit5) {
    bytes_.resize((text.size() + 2) * 2);
    size_t k = 0;
    for (char16_t c : text) {
      bytes_[k++] = static_cast<char>(c & 0xFF);
      bytes_[k++] = static_cast<char>(c >> 8);
    }
    bytes_[k++] = '\r';
    bytes_[k++] = '\0';
    bytes_[k++] = '\n';
    bytes_[k++] = '\0';
  } else {
    if (!codec_->ToAnsi(text, &bytes_)) {
      return Status::Fail("a name or text has characters outside code page " +
                          std::to_string(codec_->CodePage()) +
                          "; use the Unicode (version 5) format");
    }
    bytes_.append("\r\n");
  }
  out_.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
  if (!out_) return Status::Fail("writing the file failed");
  return Status::Ok();
}

}  // namespace keystrel::cli
