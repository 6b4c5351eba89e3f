#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/keystrel/reg_file_reader.h"
#include "tools/keystrel/reg_file_writer.h"
#include "tools/keystrel/test_codec.h"
#include "tools/keystrel/unicode.h"

namespace keystrel::cli {
namespace {

using ::testing::HasSubstr;

const testing::Cp1252Codec kCodec;

std::string ReadTestFile(const std::string& name) {
  std::ifstream in(std::string(KEYSTREL_TESTDATA) + "/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Utf16File(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

struct Key {
  std::u16string path;
  bool removed = false;
  std::vector<RegValue> values;
  std::vector<std::u16string> deleted_values;
};

// Keeps what the file says, in order, so it can be written back.
class TreeSink : public RegFileSink {
 public:
  Status OnKey(const RegFileKey& key, bool remove) override {
    Key k;
    k.path = std::u16string(key.root->long_name);
    if (!key.subkey.empty()) k.path += u"\\" + std::u16string(key.subkey);
    k.removed = remove;
    keys.push_back(std::move(k));
    return Status::Ok();
  }
  Status OnValue(std::u16string_view name, std::uint32_t type,
                 std::span<const std::uint8_t> data) override {
    keys.back().values.push_back(
        RegValue{std::u16string(name), type, std::vector<std::uint8_t>(data.begin(), data.end())});
    return Status::Ok();
  }
  Status OnDeleteValue(std::u16string_view name) override {
    keys.back().deleted_values.emplace_back(name);
    return Status::Ok();
  }
  std::vector<Key> keys;
};

Status Parse(const std::string& bytes, TreeSink* sink, RegFileInfo* info = nullptr) {
  std::istringstream in(bytes);
  RegFileReadOptions options;
  options.codec = &kCodec;
  return ReadRegFile(in, *sink, options, info);
}

std::string Write(const std::vector<Key>& keys, RegFormat format) {
  std::ostringstream out;
  RegFileWriter writer(out, format, &kCodec);
  EXPECT_TRUE(writer.WriteHeader().ok());
  for (const Key& key : keys) {
    EXPECT_TRUE((key.removed ? writer.WriteDeleteKey(key.path) : writer.WriteKey(key.path)).ok());
    for (const RegValue& v : key.values) {
      Status s = writer.WriteValue(v.name, v.type, v.data);
      EXPECT_TRUE(s.ok()) << s.message();
    }
    for (const auto& name : key.deleted_values) EXPECT_TRUE(writer.WriteDeleteValue(name).ok());
  }
  EXPECT_TRUE(writer.Finish().ok());
  return out.str();
}

std::string Reexport(const std::string& file, RegFormat format) {
  TreeSink sink;
  Status s = Parse(file, &sink);
  EXPECT_TRUE(s.ok()) << s.message();
  return Write(sink.keys, format);
}

// Files written by regedit come back byte for byte, and the two formats
// convert into each other as regedit converts them.
TEST(RegFileRoundTrip, RegeditSamplesAreReproducedExactly) {
  const std::string v5 = ReadTestFile("demo_v5.reg");
  const std::string v4 = ReadTestFile("demo_v4.reg");
  const std::string wrap = ReadTestFile("wrap.reg");
  ASSERT_EQ(v5.size(), 812u);
  EXPECT_EQ(Reexport(v5, RegFormat::kRegedit5), v5);
  EXPECT_EQ(Reexport(v4, RegFormat::kRegedit4), v4);
  EXPECT_EQ(Reexport(v4, RegFormat::kRegedit5), v5);
  EXPECT_EQ(Reexport(v5, RegFormat::kRegedit4), v4);
  EXPECT_EQ(Reexport(wrap, RegFormat::kRegedit5), wrap);
}

TEST(RegFileRoundTrip, SampleValuesDecodeToTheStoredForm) {
  TreeSink sink;
  RegFileInfo info;
  ASSERT_TRUE(Parse(ReadTestFile("demo_v4.reg"), &sink, &info).ok());
  EXPECT_EQ(info.format, RegFormat::kRegedit4);
  EXPECT_FALSE(info.unicode);
  ASSERT_EQ(sink.keys.size(), 2u);
  EXPECT_EQ(sink.keys[1].path, u"HKEY_CURRENT_USER\\Software\\Demo\\Sub");
  const auto& values = sink.keys[0].values;
  ASSERT_EQ(values.size(), 10u);
  EXPECT_EQ(values[0], (RegValue{u"", kRegSz, ToUtf16Bytes(u"default", true)}));
  EXPECT_EQ(values[1].type, kRegQword);
  EXPECT_EQ(values[1].data, (std::vector<std::uint8_t>{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(values[4], (RegValue{u"Exp", kRegExpandSz, ToUtf16Bytes(u"%TEMP%", true)}));
  EXPECT_EQ(values[5], (RegValue{u"List", kRegMultiSz, ToUtf16Bytes(std::u16string(u"a\0bc\0", 5), true)}));
  EXPECT_EQ(values[6], (RegValue{u"Nothing", kRegNone, {}}));
  EXPECT_EQ(values[7], (RegValue{u"Path", kRegSz, ToUtf16Bytes(u"C:\\Tools\\bin", true)}));
  EXPECT_EQ(values[9], (RegValue{u"Text", kRegSz, ToUtf16Bytes(u"Grüße €", true)}));
}

// Every type, awkward names and long data survive both formats.
TEST(RegFileRoundTrip, EveryTypeAndAwkwardNameInBothFormats) {
  std::vector<std::uint8_t> big(5000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  std::u16string long_text(3000, u'x');
  long_text += u"\\\"end\"";
  Key key;
  key.path = u"HKEY_LOCAL_MACHINE\\Software\\We\"ird [name]\\Ünï €";
  key.values = {
      {u"", kRegSz, ToUtf16Bytes(u"default", true)},
      {u"quote\"back\\slash", kRegSz, ToUtf16Bytes(u"a \"quoted\" C:\\path\\", true)},
      {u"line\r\nbreak\ttab", kRegSz, ToUtf16Bytes(u"one\ntwo\r\nthree\t;#", true)},
      {u"Grüße €", kRegSz, ToUtf16Bytes(u"Œuvre ½ ÿ", true)},
      {u"  spaces  ", kRegSz, ToUtf16Bytes(u"  ", true)},
      {u"long", kRegSz, ToUtf16Bytes(long_text, true)},
      {u"embedded nul", kRegSz, ToUtf16Bytes(std::u16string(u"a\0b", 3), true)},
      {u"unterminated", kRegSz, ToUtf16Bytes(u"abc", false)},
      {u"empty sz", kRegSz, {}},
      {u"none", kRegNone, {1, 2, 3}},
      {u"expand", kRegExpandSz, ToUtf16Bytes(u"%PATH%;ä", true)},
      {u"binary", kRegBinary, big},
      {u"empty binary", kRegBinary, {}},
      {u"dword", kRegDword, {0x78, 0x56, 0x34, 0x12}},
      {u"short dword", kRegDword, {1, 2}},
      {u"big endian", kRegDwordBigEndian, {0, 0, 1, 0}},
      {u"link", kRegLink, ToUtf16Bytes(u"\\Registry\\Machine", false)},
      {u"multi", kRegMultiSz, ToUtf16Bytes(std::u16string(u"one\0zwei ü\0\0", 12), false)},
      {u"resource", kRegResourceList, {9, 9}},
      {u"full", kRegFullResourceDescriptor, {8}},
      {u"requirements", kRegResourceRequirementsList, {10}},
      {u"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {u"custom", 0x12345678, {0xAB}},
      {u"max type", 0xFFFFFFFF, {}},
  };
  Key sub;
  sub.path = u"HKEY_LOCAL_MACHINE\\Software\\We\"ird [name]\\Ünï €\\empty";
  Key gone;
  gone.path = u"HKEY_CURRENT_USER\\Software\\Gone";
  gone.removed = true;
  Key edits;
  edits.path = u"HKEY_CURRENT_USER\\Software\\Edits";
  edits.deleted_values = {u"old \"one\"", u""};
  const std::vector<Key> keys = {key, sub, gone, edits};
  // hex(1) of text without a terminator gains one, as regedit reads it.
  std::vector<Key> expected_keys = keys;
  for (RegValue& v : expected_keys[0].values) {
    if (v.name == u"unterminated") v.data = ToUtf16Bytes(u"abc", true);
  }

  for (RegFormat format : {RegFormat::kRegedit5, RegFormat::kRegedit4}) {
    SCOPED_TRACE(format == RegFormat::kRegedit5 ? "v5" : "v4");
    const std::string file = Write(keys, format);
    TreeSink sink;
    Status s = Parse(file, &sink);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_EQ(sink.keys.size(), keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
      EXPECT_EQ(sink.keys[k].path, keys[k].path);
      EXPECT_EQ(sink.keys[k].removed, keys[k].removed);
      EXPECT_EQ(sink.keys[k].deleted_values, keys[k].deleted_values);
      ASSERT_EQ(sink.keys[k].values.size(), keys[k].values.size());
      for (size_t v = 0; v < keys[k].values.size(); ++v) {
        EXPECT_EQ(sink.keys[k].values[v], expected_keys[k].values[v])
            << Utf16ToUtf8(keys[k].values[v].name);
      }
    }
    EXPECT_EQ(Write(sink.keys, format), Write(expected_keys, format));
  }
}

TEST(RegFileWriter, LinesAsRegeditWritesThem) {
  struct Case {
    std::u16string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    RegFormat format;
    std::u16string expected;
  };
  std::u16string n74(72, u'N');  // "N..."=hex: is 74 + 5 columns
  const std::vector<Case> cases = {
      {u"Count", kRegDword, {0x2a, 0, 0, 0}, RegFormat::kRegedit5, u"\"Count\"=dword:0000002a"},
      {u"x", kRegDword, {}, RegFormat::kRegedit5, u"\"x\"=hex(4):"},
      {u"", kRegSz, ToUtf16Bytes(u"", true), RegFormat::kRegedit5, u"@=\"\""},
      {u"z", kRegSz, {}, RegFormat::kRegedit5, u"\"z\"=hex(1):"},
      {u"n", kRegNone, {}, RegFormat::kRegedit5, u"\"n\"=hex(0):"},
      {u"t", 0xabcd, {1}, RegFormat::kRegedit5, u"\"t\"=hex(abcd):01"},
      {u"Exp", kRegExpandSz, ToUtf16Bytes(u"%TEMP%", true), RegFormat::kRegedit4,
       u"\"Exp\"=hex(2):25,54,45,4d,50,25,00"},
      {n74, kRegBinary, {1, 2, 3}, RegFormat::kRegedit5,
       u"\"" + n74 + u"\"=hex:01,\\\r\n  02,03"},
  };
  for (const Case& c : cases) {
    std::u16string line;
    ASSERT_TRUE(RegFileWriter::FormatValue(c.name, c.type, c.data, c.format, &kCodec, &line).ok());
    EXPECT_EQ(line, c.expected) << Utf16ToUtf8(c.expected);
  }
}

TEST(RegFileWriter, WrapsAtRegeditsColumn) {
  std::u16string line;
  ASSERT_TRUE(RegFileWriter::FormatValue(u"B25", kRegBinary, std::vector<std::uint8_t>(60, 0xab),
                                         RegFormat::kRegedit5, &kCodec, &line)
                  .ok());
  std::vector<size_t> lengths;
  for (size_t start = 0;;) {
    const size_t end = line.find(u"\r\n", start);
    lengths.push_back((end == std::u16string::npos ? line.size() : end) - start);
    if (end == std::u16string::npos) break;
    start = end + 2;
  }
  EXPECT_EQ(lengths, (std::vector<size_t>{80, 78, 37}));
}

TEST(RegFileWriter, TextOutsideTheCodePageIsRefusedInRegedit4) {
  std::u16string line;
  Status s = RegFileWriter::FormatValue(u"x", kRegExpandSz, ToUtf16Bytes(u"Ж", true),
                                        RegFormat::kRegedit4, &kCodec, &line);
  EXPECT_THAT(s.message(), HasSubstr("outside code page 1252"));
  std::ostringstream out;
  RegFileWriter writer(out, RegFormat::kRegedit4, &kCodec);
  ASSERT_TRUE(writer.WriteHeader().ok());
  EXPECT_FALSE(writer.WriteKey(u"HKEY_CURRENT_USER\\中文").ok());
}

struct AcceptCase {
  const char* line;
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

// Value lines that regedit reads, with what they store.
TEST(RegFileReader, AcceptedValueForms) {
  const std::vector<AcceptCase> cases = {
      {"\"a\"=dword:1", kRegDword, {1, 0, 0, 0}},
      {"\"a\" = dword:  DeadBeef ;note", kRegDword, {0xef, 0xbe, 0xad, 0xde}},
      {"\"a\"=dword:1234;x", kRegDword, {0x34, 0x12, 0, 0}},
      {"\"a\"=DWORD:ff", kRegDword, {0xff, 0, 0, 0}},
      {"\"a\"=\"v\" ;c", kRegSz, ToUtf16Bytes(u"v", true)},
      {"\"a\"=\"v\";c", kRegSz, ToUtf16Bytes(u"v", true)},
      {"\"a\"=\"x;#y\"", kRegSz, ToUtf16Bytes(u"x;#y", true)},
      {"\"a\"=\" lead and trail \"", kRegSz, ToUtf16Bytes(u" lead and trail ", true)},
      {"\"a\"=\"l1\\nl2\\r\"", kRegSz, ToUtf16Bytes(u"l1\nl2\r", true)},
      {"\"a\"=hex:", kRegBinary, {}},
      {"\"a\"=hex:1,02 , 3", kRegBinary, {1, 2, 3}},
      {"\"a\"=hex:00,ff,", kRegBinary, {0, 0xff}},
      {"\"a\"=hex(3):0a", kRegBinary, {0x0a}},
      {"\"a\"=hex(4):01,00,00,00,00,00,00,00", kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"\"a\"=hex(1):", kRegSz, {}},
      {"\"a\"=hex(7):4c,69,6e,65", kRegMultiSz, ToUtf16Bytes(u"Line", true)},
      {"\"a\"=hex(2):41,00", kRegExpandSz, ToUtf16Bytes(u"A", true)},
      {"\"a\"=hex(ffffffff):", 0xffffffff, {}},
      {"\"a\"=hex(100):1", 0x100, {1}},
      {"\"a\"=hex:01,\\\r\n  02,\\ ;c\r\n\r\n; comment\r\n  03", kRegBinary, {1, 2, 3}},
      {"\"a\"=hex:01,  \\\r\n\t02", kRegBinary, {1, 2}},
      {"\"a\"=hex:01,\\", kRegBinary, {1}},
      {"@=\"d\"", kRegSz, ToUtf16Bytes(u"d", true)},
      {"\"\"=\"d\"", kRegSz, ToUtf16Bytes(u"d", true)},
  };
  for (const AcceptCase& c : cases) {
    SCOPED_TRACE(c.line);
    TreeSink sink;
    const std::string file = std::string("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n") + c.line + "\r\n";
    Status s = Parse(file, &sink);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_EQ(sink.keys.size(), 1u);
    ASSERT_EQ(sink.keys[0].values.size(), 1u);
    EXPECT_EQ(sink.keys[0].values[0].type, c.type);
    EXPECT_EQ(sink.keys[0].values[0].data, c.data);
  }
}

TEST(RegFileReader, KeyLines) {
  TreeSink sink;
  const std::string file =
      "REGEDIT4\n[HKEY_CURRENT_USER\\A ]\n[hkey_local_machine\\B\\]\n[-HKEY_USERS\\C]\n"
      "[HKCU\\a]b]\n[HKEY_CLASSES_ROOT\\x] ; note\n";
  ASSERT_TRUE(Parse(file, &sink).ok());
  ASSERT_EQ(sink.keys.size(), 5u);
  EXPECT_EQ(sink.keys[0].path, u"HKEY_CURRENT_USER\\A ");
  EXPECT_EQ(sink.keys[1].path, u"HKEY_LOCAL_MACHINE\\B");
  EXPECT_TRUE(sink.keys[2].removed);
  EXPECT_EQ(sink.keys[2].path, u"HKEY_USERS\\C");
  EXPECT_EQ(sink.keys[3].path, u"HKEY_CURRENT_USER\\a]b");
  EXPECT_EQ(sink.keys[4].path, u"HKEY_CLASSES_ROOT\\x");
}

struct RejectCase {
  std::string file;
  int line;
  const char* message;
};

// What regedit skips or mangles without a word is an error here, reported
// with its line.
TEST(RegFileReader, MalformedFilesAreRejectedWithTheirLine) {
  const std::string h = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\T]\r\n";  // value lines start at 4
  const std::vector<RejectCase> cases = {
      {"", 0, "empty"},
      {"\r\nREGEDIT4\r\n", 1, "first line"},
      {"regedit4\r\n", 1, "first line"},
      {"Windows Registry Editor Version 4.00\r\n", 1, "first line"},
      {"REGEDIT5\r\n", 1, "unknown file version"},
      {"REGEDIT4 FOO\r\n", 1, "unknown file version"},
      {"REGEDIT\r\n", 1, "3.1"},
      {"REGEDIT4\r\n\"a\"=\"b\"\r\n", 2, "before the first [key]"},
      {"REGEDIT4\r\n[HKEY_CURRENT_USERS\\x]\r\n", 2, "unknown root"},
      {"REGEDIT4\r\n[ HKEY_CURRENT_USER\\x]\r\n", 2, "white space"},
      {"REGEDIT4\r\n[- HKEY_CURRENT_USER\\x]\r\n", 2, "white space"},
      {"REGEDIT4\r\n[HKEY_CURRENT_USER\\x\r\n", 2, "missing ]"},
      {"REGEDIT4\r\n[-HKEY_CURRENT_USER]\r\n", 2, "root key cannot be deleted"},
      {"REGEDIT4\r\n[HKEY_CURRENT_USER\\x] junk\r\n", 2, "unexpected text"},
      {"REGEDIT4\r\n[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\r\n", 2, "255"},
      {"REGEDIT4\r\n[-HKEY_CURRENT_USER\\x]\r\n\"a\"=\"b\"\r\n", 3, "deleted key"},
      {h + "NameNoQuotes=\"x\"\r\n", 4, "unrecognised line"},
      {h + "# hash comment\r\n", 4, "unrecognised line"},
      {h + "\"a\"=\"v\"#c\r\n", 4, "unexpected text"},
      {h + "\"a\"=\"foo\"bar\"\r\n", 4, "unexpected text"},
      {h + "\"a\"=\"C:\\dir\"\r\n", 4, "unknown escape sequence \\d"},
      {h + "\"a\"=\"x\\0y\"\r\n", 4, "\\0"},
      {h + "\"a\"=\"open \\\r\n\"\r\n", 4, "closing quotation mark"},
      {h + "\"a\"=-\"x\"\r\n", 4, "unexpected text"},
      {h + "\"a\" \"b\"\r\n", 4, "expected ="},
      {h + "\"a\"=dword:\r\n", 4, "1 to 8"},
      {h + "\"a\"=dword:012345678\r\n", 4, "at most 8"},
      {h + "\"a\"=dword:0x1\r\n", 4, "unexpected text"},
      {h + "\"a\"=dword:1234 #x\r\n", 4, "unexpected text"},
      {h + "\"a\"=dword:12345678abc\r\n", 4, "at most 8"},
      {h + "\"a\"=qword:1\r\n", 4, "unknown value data"},
      {h + "\"a\"=hex(100000000):00\r\n", 4, "larger than ffffffff"},
      {h + "\"a\"=hex(0x2):00\r\n", 4, "malformed hex(N)"},
      {h + "\"a\"=hex(x2):00\r\n", 4, "malformed hex(N)"},
      {h + "\"a\"=hex:100\r\n", 4, "larger than ff"},
      {h + "\"a\"=hex:01,zz\r\n", 4, "expected a hex byte"},
      {h + "\"a\"=hex:01,65\\\r\n  00\r\n", 4, "missing comma"},
      {h + "\"a\"=hex:01,4\\\r\n  f\r\n", 4, "missing comma"},
      {h + "\"a\"=hex:01,\\\r\n  ,02\r\n", 4, "starts with a comma"},
      {h + "\"a\"=hex:01,\\ #x\r\n  02\r\n", 4, "unexpected text"},
      {h + "\"a\"=hex:01,\\\r\n# note\r\n  02\r\n", 4, "line 5 should continue"},
      {h + "\"a\"=hex:01,\\\r\n\"b\"=dword:1\r\n", 4, "line 5 should continue"},
      {h + "\"a\"=hex:01,\\\r\n  02,zz\r\n", 4, "continuation line 5"},
      {h + "\"a\"=hex(2):25,00,54,00,45,00,00,00\r\n", 4, "looks like UTF-16"},
      {h + "\"ok\"=\"1\"\r\n\r\n\"b\"=dword:1 x\r\n", 6, "unexpected text"},
  };
  for (const RejectCase& c : cases) {
    SCOPED_TRACE(c.file);
    TreeSink sink;
    Status s = Parse(c.file, &sink);
    ASSERT_FALSE(s.ok());
    if (c.line > 0) {
      EXPECT_THAT(s.message(), HasSubstr("line " + std::to_string(c.line) + ": "));
    }
    EXPECT_THAT(s.message(), HasSubstr(c.message));
  }
}

TEST(RegFileReader, EncodingsAndLineEnds) {
  struct Case {
    std::string file;
    bool ok;
    const char* message;
  };
  const std::u16string body = u"REGEDIT4\r\n[HKEY_CURRENT_USER\\Ünï]\r\n\"v\"=hex(2):41,00\r\n";
  std::string utf16be = "\xFE\xFF";
  for (char16_t c : body) {
    utf16be.push_back(static_cast<char>(c >> 8));
    utf16be.push_back(static_cast<char>(c & 0xFF));
  }
  std::string no_bom = Utf16File(body).substr(2);
  const std::vector<Case> cases = {
      {Utf16File(body), true, ""},  // a REGEDIT4 header in a UTF-16 file imports
      {"\xEF\xBB\xBF" + Utf16ToUtf8(body), true, ""},
      {"REGEDIT4\r[HKEY_CURRENT_USER\\\xDCn\xEF]\r\"v\"=hex(2):41,00", true, ""},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\\xDCn\xEF]\n\"v\"=hex(2):41,00\n", true, ""},
      {utf16be, false, "big-endian"},
      {no_bom, false, "byte-order mark"},
      {"\xEF\xBB\xBFREGEDIT4\r\n[HKEY_CURRENT_USER\\\xFF]\r\n", false, "line 2: invalid UTF-8"},
      {Utf16File(body) + "x", false, "middle of a character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TreeSink sink;
    Status s = Parse(c.file, &sink);
    EXPECT_EQ(s.ok(), c.ok) << s.message();
    if (!c.ok) {
      EXPECT_THAT(s.message(), HasSubstr(c.message));
      continue;
    }
    ASSERT_EQ(sink.keys.size(), 1u);
    EXPECT_EQ(sink.keys[0].path, u"HKEY_CURRENT_USER\\Ünï");
    ASSERT_EQ(sink.keys[0].values.size(), 1u);
    EXPECT_EQ(sink.keys[0].values[0].data, ToUtf16Bytes(u"A", true));
  }
}

TEST(RegFileReader, SinkFailureStopsTheReadingAtItsLine) {
  class Refusing : public TreeSink {
   public:
    Status OnValue(std::u16string_view name, std::uint32_t, std::span<const std::uint8_t>) override {
      return name == u"bad" ? Status::Fail("refused") : Status::Ok();
    }
  } sink;
  std::istringstream in("REGEDIT4\n[HKEY_CURRENT_USER\\x]\n\"ok\"=\"1\"\n\"bad\"=\"2\"\n\"later\"=\"3\"\n");
  RegFileReadOptions options;
  options.codec = &kCodec;
  RegFileInfo info;
  Status s = ReadRegFile(in, sink, options, &info);
  EXPECT_EQ(s.message(), "line 4: refused");
  EXPECT_EQ(info.values, 2u);
}

TEST(RegFileReader, ReportsProgressOnLargeInput) {
  std::string file = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Big]\r\n";
  for (int i = 0; i < 40000; ++i) file += "\"v" + std::to_string(i) + "\"=\"some text here\"\r\n";
  std::istringstream in(file);
  TreeSink sink;
  RegFileReadOptions options;
  options.codec = &kCodec;
  std::vector<std::uint64_t> reports;
  options.progress = [&](std::uint64_t n) { reports.push_back(n); };
  ASSERT_TRUE(ReadRegFile(in, sink, options).ok());
  EXPECT_EQ(sink.keys[0].values.size(), 40000u);
  ASSERT_GE(reports.size(), 1u);
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
}

}  // namespace
}  // namespace keystrel::cli
