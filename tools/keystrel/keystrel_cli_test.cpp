// Command lines against expected output and exit codes. Most cases run the
// commands in-process on a fresh memory store; the last tests run the
// program itself against a store file, as users do.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/admin.h"
#include "tools/keystrel/cli.h"

namespace keystrel::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The tables write "\n"; the tool ends every line with CR LF.
std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

struct Step {
  std::vector<std::string> args;
  int exit_code;
  std::string out;          // exact (after Crlf) unless it starts with "~": a substring
  std::string err = "";     // substring of stderr; "" means stderr must be empty
  std::string input = "";   // answers to prompts
};

class KeystrelCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform::UseLocalStore(platform::StoreKind::kMemory), 0);
    dir_ = fs::temp_directory_path() /
           ("keystrel_cli_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    EXPECT_EQ(platform::OpenHandleCount(), 0u) << "a command left a key handle open";
  }

  struct Result {
    int code;
    std::string out;
    std::string err;
  };

  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::ostringstream out, err;
    std::istringstream in(input);
    Io io{out, err, in, false};
    const int code = RunKeystrel(args, io);
    return {code, out.str(), err.str()};
  }

  void RunSteps(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      std::string line;
      for (const auto& a : step.args) line += a + " ";
      SCOPED_TRACE("keystrel " + line);
      const Result r = Run(step.args, step.input);
      EXPECT_EQ(r.code, step.exit_code) << r.out << r.err;
      if (step.out.starts_with("~")) {
        EXPECT_THAT(r.out, HasSubstr(Crlf(step.out.substr(1))));
      } else {
        EXPECT_EQ(r.out, Crlf(step.out));
      }
      if (step.err.empty()) {
        EXPECT_EQ(r.err, "");
      } else {
        EXPECT_THAT(r.err, HasSubstr(Crlf(step.err)));
      }
    }
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

const std::string kOk = "The operation completed successfully.\n";
const std::string kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";
const std::string kSyntax = "ERROR: Invalid syntax.\n";
const char* const kKey = "HKCU\\Software\\Test";
const std::string kLong = "HKEY_CURRENT_USER\\Software\\Test";

TEST_F(KeystrelCli, QueryLayout) {
  RunSteps({
      {{"query", kKey}, 1, "", kNotFound},
      {{"add", kKey, "/v", "Test1", "/d", "Hello, World", "/f"}, 0, kOk},
      {{"add", kKey, "/v", "Test2", "/t", "REG_DWORD", "/d", "0x123", "/f"}, 0, kOk},
      {{"query", kKey}, 0,
       "\n" + kLong + "\n    Test1    REG_SZ    Hello, World\n    Test2    REG_DWORD    0x123\n\n"},
      {{"query", "hkcu\\software\\test\\", "/v", "Test1"}, 0,
       "\nHKEY_CURRENT_USER\\software\\test\n    Test1    REG_SZ    Hello, World\n\n"},
      {{"query", kKey, "/v", "Missing"}, 1, "\n" + kLong + "\n", kNotFound},
      {{"query", kKey, "/ve"}, 0, "\n" + kLong + "\n    (Default)    REG_SZ    (value not set)\n\n"},
      {{"add", kKey + std::string("\\subkey"), "/v", "Test3", "/d", "Some string data", "/f"}, 0, kOk},
      {{"add", kKey + std::string("\\subkey"), "/v", "Wine", "/d", "Second instance", "/f"}, 0, kOk},
      {{"add", kKey, "/v", "Wine", "/d", "First instance", "/f"}, 0, kOk},
      {{"query", kKey}, 0,
       "\n" + kLong + "\n    Test1    REG_SZ    Hello, World\n    Test2    REG_DWORD    0x123\n"
       "    Wine    REG_SZ    First instance\n\n" + kLong + "\\subkey\n"},
      {{"query", kKey, "/s"}, 0,
       "\n" + kLong + "\n    Test1    REG_SZ    Hello, World\n    Test2    REG_DWORD    0x123\n"
       "    Wine    REG_SZ    First instance\n\n" + kLong + "\\subkey\n"
       "    Test3    REG_SZ    Some string data\n    Wine    REG_SZ    Second instance\n\n"},
      {{"query", kKey, "/v", "wine", "/s"}, 0,
       "\n" + kLong + "\n    Wine    REG_SZ    First instance\n\n" + kLong + "\\subkey\n"
       "    Wine    REG_SZ    Second instance\n\nEnd of search: 2 match(es) found.\n"},
      {{"query", kKey, "/f", "instance", "/s", "/d", "/e"}, 1, "\nEnd of search: 0 match(es) found.\n"},
      {{"query", kKey, "/f", "SECOND*", "/s", "/d", "/e"}, 0,
       "\n" + kLong + "\\subkey\n    Wine    REG_SZ    Second instance\n\nEnd of search: 1 match(es) found.\n"},
      {{"query", kKey, "/f", "SUB", "/k", "/c"}, 1, "\nEnd of search: 0 match(es) found.\n"},
      {{"query", kKey, "/f", "sub", "/k"}, 0, "\n" + kLong + "\\subkey\nEnd of search: 1 match(es) found.\n"},
      {{"query", kKey, "/f", "test?", "/v"}, 0,
       "\n" + kLong + "\n    Test1    REG_SZ    Hello, World\n    Test2    REG_DWORD    0x123\n\n"
       "End of search: 2 match(es) found.\n"},
      {{"query", kKey, "/t", "reg_dword", "/z"}, 0,
       "\n" + kLong + "\n    Test2    REG_DWORD (4)    0x123\n\nEnd of search: 1 match(es) found.\n"},
  });
}

TEST_F(KeystrelCli, QueryShowsEveryTypeAsRegDoes) {
  RunSteps({
      {{"add", kKey, "/ve", "/d", "default"}, 0, kOk},
      {{"add", kKey, "/v", "Big", "/t", "REG_QWORD", "/d", "0x600000000"}, 0, kOk},
      {{"add", kKey, "/v", "Blob", "/t", "REG_BINARY", "/d", "00ff10"}, 0, kOk},
      {{"add", kKey, "/v", "Exp", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%"}, 0, kOk},
      {{"add", kKey, "/v", "List", "/t", "REG_MULTI_SZ", "/d", "a\\0bc"}, 0, kOk},
      {{"add", kKey, "/v", "Hash", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "x#y#"}, 0, kOk},
      {{"add", kKey, "/v", "Nothing", "/t", "REG_NONE"}, 0, kOk},
      {{"add", kKey, "/v", "Empty", "/t", "REG_BINARY"}, 0, kOk},
      {{"add", kKey, "/v", "Text", "/d", "Grüße €"}, 0, kOk},
      {{"query", kKey}, 0,
       "\n" + kLong + "\n    (Default)    REG_SZ    default\n    Big    REG_QWORD    0x600000000\n"
       "    Blob    REG_BINARY    00FF10\n    Exp    REG_EXPAND_SZ    %TEMP%\n"
       "    List    REG_MULTI_SZ    a\\0bc\n    Hash    REG_MULTI_SZ    x\\0y\n"
       "    Nothing    REG_NONE    0000\n    Empty    REG_BINARY    \n"
       "    Text    REG_SZ    Grüße €\n\n"},
      {{"query", kKey, "/v", "List", "/se", "|"}, 0, "~    List    REG_MULTI_SZ    a|bc\n"},
  });
}

TEST_F(KeystrelCli, SyntaxErrorsAndHelp) {
  const std::string usage = "Type \"KEYSTREL QUERY /?\" for usage.\n";
  RunSteps({
      {{}, 1, "", kSyntax + "Type \"KEYSTREL /?\" for usage.\n"},
      {{"bogus"}, 1, "", "ERROR: Invalid syntax. Unknown operation 'bogus'."},
      {{"query"}, 1, "", kSyntax + usage},
      {{"query", kKey, "/v"}, 1, "", kSyntax + usage},
      {{"query", kKey, "/v", "a", "/ve"}, 1, "", kSyntax},
      {{"query", kKey, "/s", "/s"}, 1, "", kSyntax},
      {{"query", kKey, "/reg:32", "/reg:64"}, 1, "", kSyntax},
      {{"query", kKey, "/k"}, 1, "", kSyntax},
      {{"query", kKey, "/se", "ab"}, 1, "", kSyntax},
      {{"query", "\\HKCU\\x"}, 1, "", "ERROR: Invalid key name.\n" + usage},
      {{"query", "HKXX\\x"}, 1, "", "ERROR: Invalid key name."},
      {{"add", "HKCU\\", "/f"}, 1, "", "ERROR: Invalid key name.\nType \"KEYSTREL ADD /?\" for usage.\n"},
      {{"add", kKey, "/t", "REG_FOO", "/f"}, 1, "", "ERROR: Invalid syntax. Unsupported data type 'REG_FOO'."},
      {{"add", kKey, "/t", "", "/f"}, 1, "", "Unsupported data type"},
      {{"add", kKey, "/v", "x", "/t", "REG_DWORD", "/d", "-1", "/f"}, 1, "",
       "ERROR: Invalid syntax. Specify valid numeric value for '/d'."},
      {{"add", kKey, "/v", "x", "/t", "REG_DWORD", "/f"}, 1, "", "valid numeric value"},
      {{"add", kKey, "/v", "x", "/t", "REG_BINARY", "/d", "0x01", "/f"}, 1, "", "valid hexadecimal value"},
      {{"add", kKey, "/v", "x", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b", "/f"}, 1, "", "empty string"},
      {{"add", kKey, "/v", "x", "/t", "REG_MULTI_SZ", "/s", "ab", "/d", "a", "/f"}, 1, "", kSyntax},
      {{"add", kKey, "/v", "x", "/s", "#", "/d", "a", "/f"}, 1, "", kSyntax},
      {{"export", kKey, "/y", Path("x.reg")}, 1, "", kSyntax},
      {{"query", kKey}, 1, "", kNotFound},  // nothing above was written
      {{"query", "/?"}, 0, "~KEYSTREL QUERY KeyName [/v [ValueName] | /ve] [/s]"},
      {{"ADD", "-h"}, 0, "~KEYSTREL ADD KeyName"},
      {{"grant", "/?"}, 0, "~KEYSTREL GRANT KeyName [/a Rights]"},
      {{"--help"}, 0, "~KEYSTREL Operation [Parameter List]"},
  });
}

TEST_F(KeystrelCli, AddPromptsAndDefaults) {
  RunSteps({
      {{"add", kKey}, 0, kOk},
      {{"query", kKey}, 0, "\n" + kLong + "\n    (Default)    REG_SZ    \n\n"},
      {{"add", kKey, "/ve", "/t", "REG_DWORD", "/d", "5", "/f"}, 0, kOk},
      {{"add", kKey}, 1, "Value  exists, overwrite(Yes/No)? The operation was canceled by the user.\n", "",
       "n\n"},
      {{"add", kKey, "/f"}, 0, kOk},  // overwrites the DWORD default with ""
      {{"query", kKey, "/ve"}, 0, "\n" + kLong + "\n    (Default)    REG_SZ    \n\n"},
      {{"add", kKey, "/v", "a", "/d", "1"}, 0, kOk},
      {{"add", kKey, "/v", "a", "/d", "2"}, 0,
       "Value a exists, overwrite(Yes/No)? Value a exists, overwrite(Yes/No)? " + kOk, "",
       "maybe\nyes\n"},
      {{"add", kKey, "/v", "a", "/d", "3"}, 1, "~canceled by the user", "", ""},  // no answer: No
      {{"query", kKey, "/v", "a"}, 0, "\n" + kLong + "\n    a    REG_SZ    2\n\n"},
      {{"add", kKey, "/v", "q", "/t", "REG_QWORD", "/d", "-1", "/f"}, 0, kOk},
      {{"query", kKey, "/v", "q"}, 0, "~    q    REG_QWORD    0xffffffffffffffff\n"},
  });
}

TEST_F(KeystrelCli, DeleteRefusesRootsAndPrompts) {
  RunSteps({
      {{"add", kKey + std::string("\\a\\b"), "/v", "x", "/d", "1", "/f"}, 0, kOk},
      {{"add", kKey, "/v", "y", "/d", "2", "/f"}, 0, kOk},
      {{"add", kKey, "/v", "z", "/d", "3", "/f"}, 0, kOk},
      {{"delete", "HKCU", "/f"}, 1, "", "ERROR: A root key cannot be deleted."},
      {{"delete", "HKEY_LOCAL_MACHINE\\", "/f"}, 1, "", "root key"},
      {{"delete", kKey + std::string("\\missing"), "/f"}, 1, "", kNotFound},
      {{"delete", kKey, "/v", "missing", "/f"}, 1, "", kNotFound},
      {{"delete", kKey, "/ve", "/f"}, 1, "", kNotFound},
      {{"delete", kKey, "/v", "y", "/va"}, 1, "", kSyntax},
      {{"delete", kKey, "/v", "y"}, 1,
       "Delete the registry value y (Yes/No)? The operation was canceled by the user.\n", "", "no\n"},
      {{"delete", kKey, "/v", "y"}, 0, "Delete the registry value y (Yes/No)? " + kOk, "", "y\n"},
      {{"delete", kKey, "/va", "/f"}, 0, kOk},
      {{"query", kKey}, 0, "\n" + kLong + "\\a\n"},  // values gone, subkey kept
      {{"delete", kKey}, 1,
       "Permanently delete the registry key " + kLong +
           " (Yes/No)? The operation was canceled by the user.\n",
       "", "N\n"},
      {{"delete", kKey, "/f"}, 0, kOk},
      {{"query", kKey}, 1, "", kNotFound},
      {{"query", "HKCU\\Software"}, 0, "\n"},
  });
}

TEST_F(KeystrelCli, Copy) {
  RunSteps({
      {{"add", kKey + std::string("\\sub"), "/v", "deep", "/d", "1", "/f"}, 0, kOk},
      {{"add", kKey, "/v", "top", "/d", "2", "/f"}, 0, kOk},
      {{"copy", kKey, kKey + std::string("\\"), "/f"}, 1, "",
       "ERROR: The source and destination keys cannot be the same."},
      {{"copy", kKey, kKey + std::string("\\sub\\inner"), "/s", "/f"}, 1, "", "inside the source"},
      {{"copy", "HKCU\\Software\\Missing", "HKCU\\Software\\Other", "/f"}, 1, "", kNotFound},
      {{"copy", kKey, "HKCU\\Software\\Flat", "/f"}, 0, kOk},
      {{"query", "HKCU\\Software\\Flat", "/s"}, 0,
       "\nHKEY_CURRENT_USER\\Software\\Flat\n    top    REG_SZ    2\n\n"},
      {{"add", "HKCU\\Software\\Deep", "/v", "top", "/d", "old", "/f"}, 0, kOk},
      {{"add", "HKCU\\Software\\Deep", "/v", "own", "/d", "kept", "/f"}, 0, kOk},
      {{"copy", kKey, "HKCU\\Software\\Deep", "/s"}, 0, "Value top exists, overwrite(Yes/No)? " + kOk, "",
       "n\n"},
      {{"query", "HKCU\\Software\\Deep", "/s"}, 0,
       "\nHKEY_CURRENT_USER\\Software\\Deep\n    top    REG_SZ    old\n    own    REG_SZ    kept\n\n"
       "HKEY_CURRENT_USER\\Software\\Deep\\sub\n    deep    REG_SZ    1\n\n"},
      // Copying into a key below the source without /s is fine: values only.
      {{"copy", kKey, kKey + std::string("\\sub"), "/f"}, 0, kOk},
      {{"query", kKey + std::string("\\sub")}, 0,
       "\n" + kLong + "\\sub\n    deep    REG_SZ    1\n    top    REG_SZ    2\n\n"},
  });
}

TEST_F(KeystrelCli, Compare) {
  RunSteps({
      {{"add", "HKCU\\A", "/v", "same", "/d", "1", "/f"}, 0, kOk},
      {{"add", "HKCU\\B", "/v", "same", "/d", "1", "/f"}, 0, kOk},
      {{"compare", "HKCU\\A", "HKCU\\B"}, 0, "\nResult Compared: Identical\n" + kOk},
      {{"add", "HKCU\\A", "/v", "x", "/t", "REG_DWORD", "/d", "0", "/f"}, 0, kOk},
      {{"add", "HKCU\\B", "/v", "x", "/t", "REG_DWORD", "/d", "1", "/f"}, 0, kOk},
      {{"add", "HKCU\\B\\only", "/f"}, 0, kOk},
      {{"compare", "HKCU\\A", "HKCU\\B"}, 2,
       "< Value: HKEY_CURRENT_USER\\A  x  REG_DWORD  0x0\n"
       "> Value: HKEY_CURRENT_USER\\B  x  REG_DWORD  0x1\n"
       "> Key: HKEY_CURRENT_USER\\B\\only\n\nResult Compared: Different\n" + kOk},
      {{"compare", "HKCU\\A", "HKCU\\B", "/v", "same", "/os"}, 0,
       "= Value: HKEY_CURRENT_USER\\A  same  REG_SZ  1\n\nResult Compared: Identical\n" + kOk},
      {{"compare", "HKCU\\A", "HKCU\\B", "/on"}, 2, "\nResult Compared: Different\n" + kOk},
      {{"compare", "HKCU\\A", "HKCU\\B", "/oa", "/od"}, 1, "", kSyntax},
      {{"compare", "HKCU\\A", "HKCU\\Missing"}, 1, "", kNotFound},
  });
}

TEST_F(KeystrelCli, GrantShowsAndSetsAccess) {
  RunSteps({
      {{"add", kKey, "/v", "a", "/d", "1", "/f"}, 0, kOk},
      {{"grant", kKey}, 0, "\n" + kLong + "\n    Grant    0xf003f    KEY_ALL_ACCESS\n\n"},
      {{"grant", kKey, "/a", "read"}, 0, kOk},
      {{"grant", kKey}, 0, "\n" + kLong + "\n    Grant    0x20019    KEY_READ\n\n"},
      {{"query", kKey, "/v", "a"}, 0, "~    a    REG_SZ    1\n"},
      {{"add", kKey, "/v", "a", "/d", "2", "/f"}, 1, "", "ERROR: Access is denied.\n"},
      {{"grant", kKey, "/a", "QUERY_VALUE|NOTIFY"}, 0, kOk},
      {{"grant", kKey}, 0, "~    Grant    0x11    KEY_QUERY_VALUE | KEY_NOTIFY\n"},
      {{"grant", kKey, "/a", "sometimes"}, 1, "", "Unknown access rights 'sometimes'"},
      {{"grant", "HKCU\\Software\\Missing"}, 1, "", kNotFound},
      {{"grant", kKey, "/a", "all"}, 0, kOk},
      {{"add", kKey, "/v", "a", "/d", "2", "/f"}, 0, kOk},
  });
}

// Under code page 1252 a key named in Cyrillic comes back as "?"; the walk
// says so instead of reporting a missing key or exporting a wrong name.
TEST_F(KeystrelCli, NamesTheCodePageLostAreReported) {
  ASSERT_EQ(platform::AdminCreateKey(u"", u"HKCU\\Software\\Lost\\\u0416"), 0);
  RunSteps({
      {{"query", "HKCU\\Software\\Lost"}, 0, "\nHKEY_CURRENT_USER\\Software\\Lost\\?\n"},
      {{"query", "HKCU\\Software\\Lost", "/s"}, 1, "\n", "code page 1252 cannot represent"},
      {{"export", "HKCU\\Software\\Lost", Path("lost.reg"), "/y"}, 1, "",
       "HKEY_CURRENT_USER\\Software\\Lost\\?: A name in the store"},
      {{"add", "HKCU\\Software\\\xD0\x96", "/f"}, 1, "", "code page 1252 cannot represent"},
  });
  EXPECT_FALSE(fs::exists(Path("lost.reg")));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// regedit's own files import and export back byte for byte; REGEDIT4 in,
// version 5 out is regedit's conversion.
TEST_F(KeystrelCli, ImportExportRoundTrip) {
  const std::string testdata = KEYSTREL_TESTDATA;
  const std::string v5 = ReadFile(testdata + "/demo_v5.reg");
  RunSteps({
      {{"import", testdata + "/demo_v4.reg"}, 0, kOk},
      {{"export", "HKCU\\Software\\Demo", Path("out5.reg")}, 0, kOk},
      {{"export", "HKCU\\Software\\Demo", Path("out4.reg"), "/a"}, 0, kOk},
      {{"export", "HKCU\\Software\\Demo", Path("out5.reg")}, 1,
       "~already exists, overwrite(Yes/No)? The operation was canceled", "", "n\n"},
      {{"export", "HKCU\\Software\\Missing", Path("none.reg"), "/y"}, 1, "", kNotFound},
      {{"export", "\\\\PC\\HKLM\\Software", Path("none.reg"), "/y"}, 1, "", "Invalid key name"},
  });
  EXPECT_EQ(ReadFile(Path("out5.reg")), v5);
  EXPECT_EQ(ReadFile(Path("out4.reg")), ReadFile(testdata + "/demo_v4.reg"));
  EXPECT_FALSE(fs::exists(Path("none.reg")));
  RunSteps({
      {{"query", "HKCU\\Software\\Demo", "/v", "Text"}, 0, "~    Text    REG_SZ    Grüße €\n"},
      {{"delete", "HKCU\\Software\\Demo", "/f"}, 0, kOk},
      {{"import", testdata + "/wrap.reg"}, 0, kOk},
      {{"export", "HKCU\\Software\\RegFmtWrap", Path("wrap.reg"), "/y"}, 0, kOk},
  });
  EXPECT_EQ(ReadFile(Path("wrap.reg")), ReadFile(testdata + "/wrap.reg"));
}

TEST_F(KeystrelCli, ImportIsAllOrNothing) {
  WriteFile(Path("bad.reg"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Imp]\r\n\"a\"=\"1\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Imp\\Sub]\r\n\"b\"=dword:123456789\r\n");
  WriteFile(Path("header.reg"), "REGEDIT5\r\n[HKEY_CURRENT_USER\\Software\\Imp]\r\n");
  WriteFile(Path("delete.reg"),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Imp]\r\n"
            "\"gone\"=-\r\n\"new\"=\"v\"\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Imp\\Sub]\r\n"
            "[-HKEY_CURRENT_USER\\Software\\NeverWas]\r\n");
  WriteFile(Path("root.reg"), "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER]\r\n");
  WriteFile(Path("cyrillic.reg"),
            "\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Imp]\r\n\"ok\"=\"1\"\r\n"
            "\"\xD0\x96\"=\"2\"\r\n");
  WriteFile(Path("locked.reg"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Imp]\r\n\"first\"=\"1\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Locked]\r\n\"x\"=\"1\"\r\n");
  WriteFile(Path("locked_empty.reg"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Locked]\r\n");
  RunSteps({
      {{"import", Path("bad.reg")}, 1, "", "bad.reg, line 7: dword: takes at most 8 hex digits. Nothing was imported."},
      {{"query", "HKCU\\Software\\Imp"}, 1, "", kNotFound},
      {{"import", Path("header.reg")}, 1, "",
       "ERROR: Error opening the file. There may be a disk or file system error.\n"},
      {{"import", Path("missing.reg")}, 1, "", "No such file or directory"},
      {{"import", Path("root.reg")}, 1, "", "line 3: a root key cannot be deleted"},
      {{"import", Path("cyrillic.reg")}, 1, "", "line 5: the value name has characters that code page 1252 cannot represent"},
      {{"query", "HKCU\\Software\\Imp"}, 1, "", kNotFound},
      {{"add", "HKCU\\Software\\Locked", "/f"}, 0, kOk},
      {{"grant", "HKCU\\Software\\Locked", "/a", "read"}, 0, kOk},
      {{"import", Path("locked.reg")}, 1, "", "locked.reg, line 7: Access is denied"},
      {{"import", Path("locked_empty.reg")}, 0, kOk},  // no values: the key only has to exist
      {{"query", "HKCU\\Software\\Imp"}, 1, "", kNotFound},
      {{"add", "HKCU\\Software\\Imp\\Sub", "/v", "s", "/d", "1", "/f"}, 0, kOk},
      {{"add", "HKCU\\Software\\Imp", "/v", "gone", "/d", "1", "/f"}, 0, kOk},
      {{"import", Path("delete.reg")}, 0, kOk},
      {{"query", "HKCU\\Software\\Imp", "/s"}, 0,
       "\nHKEY_CURRENT_USER\\Software\\Imp\n    new    REG_SZ    v\n\n"},
  });
}

// The program itself, against a store file shared by the processes.
class KeystrelProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = fs::temp_directory_path() / ("keystrel_process_" + std::to_string(::getpid()) + ".db");
    fs::remove(store_);
  }
  void TearDown() override { fs::remove(store_); }

  int Run(const std::string& args, std::string* out) {
    const std::string command = "KEYSTREL_REGISTRY='" + store_.string() + "' '" KEYSTREL_BINARY "' " +
                                args + " 2>&1 </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    out->clear();
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), pipe)) > 0) out->append(buf, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path store_;
};

TEST_F(KeystrelProcess, CommandsShareTheStoreFile) {
  std::string out;
  EXPECT_EQ(Run("add 'HKCU\\Software\\P' /v v /t REG_DWORD /d 42 /f", &out), 0);
  EXPECT_EQ(out, Crlf(kOk));
  EXPECT_EQ(Run("query 'HKCU\\Software\\P'", &out), 0);
  EXPECT_EQ(out, Crlf("\nHKEY_CURRENT_USER\\Software\\P\n    v    REG_DWORD    0x2a\n\n"));
  EXPECT_EQ(Run("query 'HKCU\\Software\\P' /v nope", &out), 1);
  EXPECT_EQ(Run("compare 'HKCU\\Software\\P' 'HKCU\\Software'", &out), 2);
  EXPECT_EQ(Run("delete 'HKCU\\Software\\P'", &out), 1);  // no answer to the prompt
  EXPECT_THAT(out, HasSubstr("canceled"));
  EXPECT_EQ(Run("delete 'HKCU\\Software\\P' /f", &out), 0);
  EXPECT_EQ(Run("query 'HKCU\\Software\\P'", &out), 1);
  EXPECT_EQ(Run("", &out), 1);
  EXPECT_EQ(Run("/?", &out), 0);
}

}  // namespace
}  // namespace keystrel::cli
