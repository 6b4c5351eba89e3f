#include "tools/conformance/vbscript_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/conformance/vector_parser.h"

namespace keystrel::conformance {
namespace {

TEST(VbsStringLiteral, QuotesPrintableTextAndSpellsOutTheRest) {
  struct Case {
    std::u16string text;
    std::string expected;
  } cases[] = {
      {u"", "\"\""},
      {u"abc", "\"abc\""},
      {u"say \"hi\"", "\"say \"\"hi\"\"\""},
      {std::u16string(u"a\0b", 3), "\"a\" & Chr(0) & \"b\""},
      {u"\u00e9\uffff", "ChrW(233) & ChrW(65535)"},
      {u"C:\\x\t", "\"C:\\x\" & Chr(9)"},
  };
  for (const Case& c : cases) EXPECT_EQ(VbsStringLiteral(c.text), c.expected);
}

// The shapes a script client must use: long literals stay longs, variables
// go by reference, omitted arguments leave an empty slot, unwanted results
// make a statement call, a reaction is a class the harness can call, and
// text beyond ASCII comes from the harness, as does a Set with no object.
TEST(WriteVbscript, WritesCallsTheWayScriptsMakeThem) {
  VectorError error;
  const auto file = ParseVectorText(R"({"cases": [{"name": "one", "steps": [
      {"new": "h", "class": "clsZqRegyHandlerC"},
      {"dim": "x", "value": "a"},
      {"call": "h.Go", "args": [5, {"omit": true}, {"var": "x"}, {"omit": true}], "as": "k"},
      {"call": "h.Do"},
      {"let": "h.Next", "value": {"bytes": "0a"}},
      {"sink": "h", "name": "ev"},
      {"on": "ev.E", "keep": [{"index": 0, "as": "v"}], "do": [{"call": "v.Stop"}]},
      {"foreach": "k", "result": []},
      {"release": "h"},
      {"dim": "u", "value": "\u00e9\u0000"},
      {"set": "k.Buddy", "value": 5, "error": {"number": 13}}
    ]}]})", &error);
  ASSERT_TRUE(file) << error.pointer << ": " << error.message;
  const std::string script = WriteVbscript(*file, "Z:\\v\\one.json");
  for (const char* line : {
           "Set c0_h = CreateObject(\"Keystrel10.clsZqRegyHandlerC\")\r\n",
           "Keep c0_k, c0_h.Go(CLng(5), , c0_x)\r\n",
           "T.Name \"x\", c0_x\r\n",
           "If E1 = 0 Then T.Name \"k\", c0_k\r\n",
           "  c0_h.[Do]\r\n",
           "c0_h.[Next] = T.Arg(\"/cases/0/steps/4/value\")\r\n",
           "T.On \"/cases/0/steps/6\", New R0_0\r\n",
           "Class R0_0\r\n",
           "Keep c0_v, T.EntryArg(0)\r\n",
           "    c0_v.[Stop]\r\n",
           "Walk c0_k\r\n",
           "T.Load \"Z:\\v\\one.json\"\r\n",
           "  Case 0: Case0\r\n",
           "Keep c0_u, T.Arg(\"/cases/0/steps/9/value\")\r\n",
           "T.PutRef c0_k, \"Buddy\", CLng(5)\r\n",
       }) {
    EXPECT_NE(script.find(line), std::string::npos) << line << "\n---\n" << script;
  }
}

}  // namespace
}  // namespace keystrel::conformance
