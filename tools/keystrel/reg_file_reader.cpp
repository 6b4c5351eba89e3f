#include "tools/keystrel/reg_file_reader.h"

#include <string>
#include <vector>

#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

enum class Encoding { kAnsi, kUtf16Le, kUtf8 };

constexpr size_t kChunk = 64 * 1024;
constexpr std::uint64_t kProgressStep = 1 << 20;
constexpr size_t kMaxKeyComponent = 255;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::string Quote(std::u16string_view text) { return "'" + Utf16ToUtf8(text) + "'"; }

// Splits the input into physical lines and decodes them. A line ends at CR LF,
// LF or a lone CR, as regedit reads them.
class LineSource {
 public:
  LineSource(std::istream& in, const RegFileReadOptions& options) : in_(in), options_(options) {}

  Status Start(Encoding* encoding) {
    Fill();
    const auto byte = [&](size_t i) {
      return i < buf_.size() ? static_cast<unsigned char>(buf_[i]) : 0x100u;
    };
    if (byte(0) == 0xFF && byte(1) == 0xFE) {
      pos_ = 2;
      encoding_ = Encoding::kUtf16Le;
    } else if (byte(0) == 0xFE && byte(1) == 0xFF) {
      return Status::Fail("the file is UTF-16 big-endian; only UTF-16 little-endian is read");
    } else if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
      pos_ = 3;
      encoding_ = Encoding::kUtf8;
    } else if (byte(0) != 0 && byte(0) < 0x80 && byte(1) == 0) {
      return Status::Fail(
          "the file looks like UTF-16 without a byte-order mark; save it with one (FF FE)");
    } else {
      encoding_ = Encoding::kAnsi;
    }
    *encoding = encoding_;
    return Status::Ok();
  }

  // The next line, or false at the end of the file or on a decoding failure
  // (then `status` says why).
  bool Next(std::u16string* line, Status* status) {
    line->clear();
    raw_.clear();
    char16_t unit;
    bool any = false;
    while (ReadUnit(&unit, status)) {
      any = true;
      if (unit == u'\n') break;
      if (unit == u'\r') {
        char16_t next;
        if (PeekUnit(&next) && next == u'\n') ReadUnit(&next, status);
        break;
      }
      if (encoding_ == Encoding::kUtf16Le) {
        line->push_back(unit);
      } else {
        raw_.push_back(static_cast<char>(unit));
      }
    }
    if (!status->ok() || !any) return false;
    ++line_number_;
    if (encoding_ == Encoding::kAnsi) {
      *line = options_.codec->FromAnsi(raw_);
    } else if (encoding_ == Encoding::kUtf8) {
      bool valid = true;
      *line = Utf8ToUtf16(raw_, &valid);
      if (!valid) {
        *status = Status::Fail("line " + std::to_string(line_number_) + ": invalid UTF-8 text");
        return false;
      }
    }
    return true;
  }

  int line_number() const { return line_number_; }

 private:
  // Makes at least `n` unread bytes available unless the file ends first.
  bool Available(size_t n) {
    if (buf_.size() - pos_ >= n) return true;
    if (eof_) return false;
    buf_.erase(0, pos_);
    pos_ = 0;
    while (!eof_ && buf_.size() < n) {
      const size_t old = buf_.size();
      buf_.resize(old + kChunk);
      in_.read(buf_.data() + old, static_cast<std::streamsize>(kChunk));
      const auto got = static_cast<size_t>(in_.gcount());
      buf_.resize(old + got);
      if (got == 0) eof_ = true;
      bytes_read_ += got;
    }
    if (options_.progress && bytes_read_ >= next_report_) {
      options_.progress(bytes_read_);
      next_report_ = bytes_read_ + kProgressStep;
    }
    return buf_.size() - pos_ >= n;
  }

  void Fill() { Available(4); }

  unsigned char At(size_t offset) const { return static_cast<unsigned char>(buf_[pos_ + offset]); }

  bool ReadUnit(char16_t* unit, Status* status) {
    if (encoding_ != Encoding::kUtf16Le) {
      if (!Available(1)) return false;
      *unit = At(0);
      pos_ += 1;
      return true;
    }
    if (!Available(2)) {
      if (buf_.size() > pos_) {
        *status = Status::Fail("line " + std::to_string(line_number_ + 1) +
                               ": the UTF-16 text ends in the middle of a character");
      }
      return false;
    }
    *unit = static_cast<char16_t>(At(0) | (At(1) << 8));
    pos_ += 2;
    return true;
  }

  bool PeekUnit(char16_t* unit) {
    const size_t need = encoding_ == Encoding::kUtf16Le ? 2 : 1;
    if (!Available(need)) return false;
    *unit = need == 2 ? static_cast<char16_t>(At(0) | (At(1) << 8)) : At(0);
    return true;
  }

  std::istream& in_;
  const RegFileReadOptions& options_;
  Encoding encoding_ = Encoding::kAnsi;
  std::string buf_;
  std::string raw_;
  size_t pos_ = 0;
  bool eof_ = false;
  std::uint64_t bytes_read_ = 0;
  std::uint64_t next_report_ = 0;
  int line_number_ = 0;
};

class Parser {
 public:
  Parser(std::istream& in, RegFileSink& sink, const RegFileReadOptions& options, RegFileInfo* info)
      : source_(in, options), sink_(sink), options_(options), info_(info) {}

  Status Run() {
    KEYSTREL_RETURN_IF_ERROR(source_.Start(&encoding_));
    info_->unicode = encoding_ != Encoding::kAnsi;
    std::u16string line;
    Status status;
    if (!source_.Next(&line, &status)) {
      return status.ok() ? Status::Fail("the file is empty") : status;
    }
    KEYSTREL_RETURN_IF_ERROR(ParseHeader(line).WithContext("line 1: "));
    while (source_.Next(&line, &status)) {
      const int number = source_.line_number();
      KEYSTREL_RETURN_IF_ERROR(
          ParseLine(line).WithContext("line " + std::to_string(number) + ": "));
    }
    return status;
  }

 private:
  Status ParseHeader(std::u16string_view line) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    std::u16string_view text = line.substr(i);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text == kRegedit4Header) {
      info_->format = RegFormat::kRegedit4;
      return Status::Ok();
    }
    if (text == kRegedit5Header) {
      info_->format = RegFormat::kRegedit5;
      return Status::Ok();
    }
    if (text == u"REGEDIT") {
      return Status::Fail("Windows 3.1 registration files (header REGEDIT) are not supported");
    }
    if (text.starts_with(u"REGEDIT")) {
      // regedit accepts such a header and then imports nothing at all.
      return Status::Fail("unknown file version " + Quote(text) +
                          "; expected REGEDIT4 or Windows Registry Editor Version 5.00");
    }
    return Status::Fail(
        "not a registry file: the first line must be REGEDIT4 or "
        "Windows Registry Editor Version 5.00");
  }

  Status ParseLine(std::u16string_view line) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] == u';') return Status::Ok();
    if (line[i] == u'[') return ParseKeyLine(line.substr(i + 1));
    if (line[i] == u'"' || line[i] == u'@') return ParseValueLine(line.substr(i));
    if (line.find(u'\0') != std::u16string_view::npos) {
      return Status::Fail("NUL character in the text");
    }
    // regedit skips such lines without a word; a typo would go unnoticed.
    return Status::Fail("unrecognised line " + Quote(line.substr(i)) +
                        " (a line must be a [key], a \"value\"=, @=, a ;comment or empty)");
  }

  Status ParseKeyLine(std::u16string_view text) {
    const size_t close = text.rfind(u']');
    if (close == std::u16string_view::npos) return Status::Fail("missing ] at the end of the key");
    KEYSTREL_RETURN_IF_ERROR(CheckTrailer(text.substr(close + 1)));
    std::u16string_view name = text.substr(0, close);
    bool remove = false;
    if (!name.empty() && name.front() == u'-') {
      remove = true;
      name.remove_prefix(1);
    }
    if (!name.empty() && IsBlank(name.front())) {
      return Status::Fail("white space before the key name (regedit would skip this key)");
    }
    while (!name.empty() && name.back() == u'\\') name.remove_suffix(1);
    if (name.empty()) return Status::Fail("empty key name");
    const size_t sep = name.find(u'\\');
    const RootInfo* root = FindRoot(name.substr(0, sep), true);
    if (root == nullptr) return Status::Fail("unknown root key " + Quote(name.substr(0, sep)));
    key_path_.assign(sep == std::u16string_view::npos ? std::u16string_view() : name.substr(sep + 1));
    if (!key_path_.empty() && key_path_.front() == u'\\') {
      return Status::Fail("empty key name after the root " + Quote(name));
    }
    for (size_t start = 0; start <= key_path_.size();) {
      size_t end = key_path_.find(u'\\', start);
      if (end == std::u16string::npos) end = key_path_.size();
      if (end - start > kMaxKeyComponent) {
        return Status::Fail("a key name is longer than 255 characters");
      }
      start = end + 1;
    }
    if (remove && key_path_.empty()) {
      return Status::Fail("a root key cannot be deleted: " + Quote(name));
    }
    have_key_ = !remove;
    deleted_key_ = remove;
    ++info_->keys;
    return sink_.OnKey(RegFileKey{root, key_path_}, remove);
  }

  Status ParseValueLine(std::u16string_view line) {
    size_t i = 0;
    std::u16string name;
    if (line[0] == u'@') {
      i = 1;
    } else {
      KEYSTREL_RETURN_IF_ERROR(ParseQuoted(line, &i, &name));
    }
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] != u'=') {
      return Status::Fail("expected = after the value name");
    }
    ++i;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (deleted_key_) {
      return Status::Fail("value line under a deleted key ([-...]); regedit would ignore it");
    }
    if (!have_key_) return Status::Fail("value line before the first [key] line");
    ++info_->values;
    std::u16string_view rest = line.substr(i);
    if (rest.starts_with(u"-")) {
      KEYSTREL_RETURN_IF_ERROR(CheckTrailer(rest.substr(1)));
      return sink_.OnDeleteValue(name);
    }
    if (rest.starts_with(u"\"")) {
      std::u16string text;
      size_t j = 0;
      KEYSTREL_RETURN_IF_ERROR(ParseQuoted(rest, &j, &text));
      KEYSTREL_RETURN_IF_ERROR(CheckTrailer(rest.substr(j)));
      data_ = ToUtf16Bytes(text, true);
      return sink_.OnValue(name, kRegSz, data_);
    }
    if (StartsWithNoCase(rest, u"dword:")) {
      std::uint32_t value = 0;
      KEYSTREL_RETURN_IF_ERROR(ParseDword(rest.substr(6), &value));
      data_.assign({static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                    static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
      return sink_.OnValue(name, kRegDword, data_);
    }
    std::uint32_t type = kRegBinary;
    size_t start;
    if (StartsWithNoCase(rest, u"hex:")) {
      start = 4;
    } else if (StartsWithNoCase(rest, u"hex(")) {
      KEYSTREL_RETURN_IF_ERROR(ParseType(rest, &type, &start));
    } else {
      return Status::Fail("unknown value data " + Quote(rest) +
                          " (expected \"text\", dword:, hex:, hex(N): or -)");
    }
    data_.clear();
    KEYSTREL_RETURN_IF_ERROR(ParseHexList(rest.substr(start), &data_));
    if (IsTextType(type)) KEYSTREL_RETURN_IF_ERROR(DecodeTextBytes(type));
    return sink_.OnValue(name, type, data_);
  }

  static bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
  }

  // After a complete item only white space and a ;comment may follow.
  static Status CheckTrailer(std::u16string_view rest) {
    size_t i = 0;
    while (i < rest.size() && IsBlank(rest[i])) ++i;
    if (i == rest.size() || rest[i] == u';') return Status::Ok();
    return Status::Fail("unexpected text " + Quote(rest.substr(i)) +
                        " after the item (only a ;comment may follow)");
  }

  // A "..." string starting at line[*i]; *i ends just past the closing quote.
  static Status ParseQuoted(std::u16string_view line, size_t* i, std::u16string* out) {
    size_t j = *i + 1;
    while (j < line.size()) {
      const char16_t c = line[j];
      if (c == u'"') {
        *i = j + 1;
        return Status::Ok();
      }
      if (c == u'\0') return Status::Fail("NUL character in a string");
      if (c != u'\\') {
        out->push_back(c);
        ++j;
        continue;
      }
      if (j + 1 == line.size()) break;
      const char16_t e = line[j + 1];
      switch (e) {
        case u'\\': out->push_back(u'\\'); break;
        case u'"': out->push_back(u'"'); break;
        case u'n': out->push_back(u'\n'); break;
        case u'r': out->push_back(u'\r'); break;
        case u'0':
          return Status::Fail("\\0 in a string; write the value as hex(1), hex(2) or hex(7)");
        default:
          // regedit drops the backslash here ("C:\dir" becomes "C:dir").
          return Status::Fail("unknown escape sequence \\" + Utf16ToUtf8(std::u16string(1, e)) +
                              " in a string (write a backslash as \\\\)");
      }
      j += 2;
    }
    return Status::Fail("missing closing quotation mark (a string cannot continue onto the next line)");
  }

  static Status ParseDword(std::u16string_view text, std::uint32_t* value) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t digits = 0;
    std::uint64_t v = 0;
    while (i < text.size() && HexDigit(text[i]) >= 0) {
      v = v * 16 + static_cast<unsigned>(HexDigit(text[i]));
      ++digits;
      ++i;
      if (digits > 8) return Status::Fail("dword: takes at most 8 hex digits");
    }
    if (digits == 0) return Status::Fail("dword: needs 1 to 8 hex digits");
    KEYSTREL_RETURN_IF_ERROR(CheckTrailer(text.substr(i)));
    *value = static_cast<std::uint32_t>(v);
    return Status::Ok();
  }

  static Status ParseType(std::u16string_view text, std::uint32_t* type, size_t* start) {
    size_t i = 4;
    std::uint64_t v = 0;
    size_t digits = 0;
    while (i < text.size() && HexDigit(text[i]) >= 0) {
      v = v * 16 + static_cast<unsigned>(HexDigit(text[i]));
      ++i;
      if (++digits > 8) return Status::Fail("value type in hex(N) is larger than ffffffff");
    }
    if (digits == 0 || i + 1 >= text.size() || text[i] != u')' || text[i + 1] != u':') {
      return Status::Fail("malformed hex(N): type; N is 1 to 8 hex digits without 0x");
    }
    *type = static_cast<std::uint32_t>(v);
    *start = i + 2;
    return Status::Ok();
  }

  // Comma-separated bytes, continued onto following lines by a trailing "\".
  Status ParseHexList(std::u16string_view text, std::vector<std::uint8_t>* out) {
    std::u16string continued;
    continuation_line_ = 0;
    bool after_comma = true;  // a "\" straight after the prefix continues too
    size_t i = 0;
    for (;;) {
      while (i < text.size() && IsBlank(text[i])) ++i;
      if (i == text.size() || text[i] == u';') return Status::Ok();
      if (text[i] == u'\\') {
        if (!after_comma) return Status::Fail("missing comma before the line continuation \\");
        KEYSTREL_RETURN_IF_ERROR(CheckTrailer(text.substr(i + 1)));
        bool more = false;
        KEYSTREL_RETURN_IF_ERROR(NextContinuation(&continued, &more));
        if (!more) return Status::Ok();
        text = continued;
        i = 0;
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i < text.size() && text[i] == u',') {
          return Status::Fail("continuation line " + std::to_string(source_.line_number()) +
                              " starts with a comma");
        }
        continue;
      }
      int digits = 0;
      unsigned byte = 0;
      while (i < text.size() && HexDigit(text[i]) >= 0) {
        byte = byte * 16 + static_cast<unsigned>(HexDigit(text[i]));
        ++i;
        ++digits;
      }
      if (digits == 0) {
        return Status::Fail("expected a hex byte at " + Quote(text.substr(i)) + LineNote());
      }
      if (digits > 2) return Status::Fail("hex byte larger than ff" + LineNote());
      out->push_back(static_cast<std::uint8_t>(byte));
      while (i < text.size() && IsBlank(text[i])) ++i;
      after_comma = i < text.size() && text[i] == u',';
      if (after_comma) {
        ++i;
      } else if (i < text.size() && text[i] != u';') {
        return Status::Fail(text[i] == u'\\'
                                ? "missing comma before the line continuation \\" + LineNote()
                                : "unexpected text " + Quote(text.substr(i)) + " in hex data" +
                                      LineNote());
      } else {
        return Status::Ok();
      }
    }
  }

  std::string LineNote() const {
    return continuation_line_ == 0 ? std::string()
                                   : " (continuation line " + std::to_string(continuation_line_) + ")";
  }

  // The next line of a continued hex value; blank and ;comment lines between
  // are skipped. `more` false: the file ended, which ends the value.
  Status NextContinuation(std::u16string* line, bool* more) {
    Status status;
    while (source_.Next(line, &status)) {
      size_t i = 0;
      while (i < line->size() && IsBlank((*line)[i])) ++i;
      if (i == line->size() || (*line)[i] == u';') continue;
      continuation_line_ = source_.line_number();
      if (HexDigit((*line)[i]) < 0 && (*line)[i] != u',' && (*line)[i] != u'\\') {
        return Status::Fail("line " + std::to_string(continuation_line_) +
                            " should continue the hex data of the line before it");
      }
      *more = true;
      return Status::Ok();
    }
    *more = false;
    return status;
  }

  // hex(1), hex(2) and hex(7) hold UTF-16LE bytes in a Unicode file and ANSI
  // bytes in an 8-bit one; either way the value gets a terminating NUL.
  Status DecodeTextBytes(std::uint32_t type) {
    if (data_.empty()) return Status::Ok();
    std::u16string text;
    if (encoding_ == Encoding::kAnsi) {
      if (LooksLikeUtf16(data_)) {
        return Status::Fail("hex(" + std::to_string(type) +
                            ") data looks like UTF-16, but an 8-bit (REGEDIT4) file holds ANSI "
                            "bytes there; it would be stored garbled");
      }
      text = options_.codec->FromAnsi(
          std::string_view(reinterpret_cast<const char*>(data_.data()), data_.size()));
    } else {
      if (data_.size() % 2 != 0) {
        return Status::Fail("hex(" + std::to_string(type) +
                            ") data of a Unicode file must be UTF-16: an even number of bytes");
      }
      text = FromUtf16Bytes(data_);
    }
    if (text.back() != u'\0') text.push_back(u'\0');
    data_ = ToUtf16Bytes(text, false);
    return Status::Ok();
  }

  // Every second byte zero and a UTF-16 NUL at the end: the hex(2) of a
  // Unicode export pasted into an 8-bit file. As ANSI text it would be a
  // string broken by NULs, which no sensible value is.
  static bool LooksLikeUtf16(const std::vector<std::uint8_t>& data) {
    if (data.size() < 6 || data.size() % 2 != 0 || data[0] == 0) return false;
    for (size_t i = 1; i < data.size(); i += 2) {
      if (data[i] != 0) return false;
    }
    return data[data.size() - 2] == 0;
  }

  LineSource source_;
  RegFileSink& sink_;
  const RegFileReadOptions& options_;
  RegFileInfo* info_;
  Encoding encoding_ = Encoding::kAnsi;
  bool have_key_ = false;
  bool deleted_key_ = false;
  std::u16string key_path_;
  std::vector<std::uint8_t> data_;
  int continuation_line_ = 0;
};

}  // namespace

Status ReadRegFile(std::istream& in, RegFileSink& sink, const RegFileReadOptions& options,
                   RegFileInfo* info) {
  RegFileInfo local;
  Parser parser(in, sink, options, info != nullptr ? info : &local);
  return parser.Run();
}

}  // namespace keystrel::cli
