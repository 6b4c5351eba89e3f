// The runner's own contract: report lines, malformed files with the JSON
// pointer of the fault, counting, isolation of cases and directories. Every
// step type and value form is exercised by the vector files under
// testing/vectors (run by CTest on both stores); this file covers what those
// passing vectors cannot show.
#include "tools/conformance/runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "frame/host.h"
#include "tools/conformance/testing/probe.h"

namespace keystrel::conformance {
namespace {

class RunnerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterFrameClasses();
    testing::RegisterProbeClasses();
  }

  // The whole report for `text` run as file "v.json".
  std::string Run(const std::string& text,
                  platform::StoreKind store = platform::StoreKind::kMemory) {
    std::ostringstream out;
    Runner runner(RunnerOptions{store, {}}, out);
    runner.RunText("v.json", text);
    runner.PrintSummary();
    return out.str();
  }
};

TEST_F(RunnerTest, MalformedFilesNameTheFaultByPointer) {
  struct Row {
    const char* text;
    const char* report;
  };
  const Row rows[] = {
      {R"({"cases": [{"name": "a", "steps": [{"cal": "p.X"}]}]})",
       "malformed at /cases/0/steps/0/cal: unknown step action \"cal\""},
      {R"({"cases": [{"name": "a", "steps": [{"call": "p.X", "reslt": 1}]}]})",
       "malformed at /cases/0/steps/0/reslt: member \"reslt\" is not part of a \"call\" step"},
      {R"({"cases": [{"name": "a", "steps": [{"call": "p.X", "args": [1, {"lng": 2}]}]}]})",
       "malformed at /cases/0/steps/0/args/1: not a VALUE form: {\"lng\":2}"},
      {R"({"cases": [{"name": "a", "steps": [{"call": "p.X", "args": [{"int": 40000}]}]}]})",
       "malformed at /cases/0/steps/0/args/0/int: an int must be an integer from -32768 to 32767, "
       "not 40000"},
      {R"({"cases": [{"name": "a", "steps": [{"dim": "x", "value": {"any": true}}]}]})",
       "malformed at /cases/0/steps/0/value/any: {\"any\": ...} matches results; it cannot be "
       "passed as a value"},
      {R"({"cases": [{"name": "a", "steps": [{"dim": "x", "value": {"var": "y"}}]}]})",
       "malformed at /cases/0/steps/0/value/var: {\"var\": ...} passes a variable by reference: "
       "only an argument can"},
      {R"({"cases": [{"name": "a", "registry": {"HKCU\\A": {"v": {"sz": "x"}, "v": {"sz": "y"}}}}]})",
       "malformed at /cases/0/registry/HKCU\\A/v: duplicate member \"v\""},
      {R"({"cases": [{"name": "a"}, {"name": "a"}]})",
       "malformed at /cases/1/name: case name \"a\" is used twice"},
      {R"({"cases": [{"name": "a", "registry": {"HKXX\\A": {}}}]})",
       "malformed at /cases/0/registry/HKXX\\A: a key path starts with a root name (HKCU, "
       "HKEY_LOCAL_MACHINE, ...): \"HKXX\\A\""},
      {R"({"cases": [{"name": "a", "registry_after": {"HKCU\\A/B": {"x": {"dword": 4294967296}}}}]})",
       "malformed at /cases/0/registry_after/HKCU\\A~1B/x/dword: a dword must be an integer from "
       "-2147483648 to 4294967295, not 4294967296"},
      {R"({"cases": [{"name": "a", "steps": [{"call": "p.X", "result": 2147483648}]}]})",
       "malformed at /cases/0/steps/0/result: the integer 2147483648 does not fit a long; write "
       "{\"double\": ...} or a signed long"},
      {R"({"cases": [{"name": "a", "steps": [{"dim": "x", "value": {"array": "byte", "items": [1, 256]}}]}]})",
       "malformed at /cases/0/steps/0/value/items/1: item does not convert to the element type: "},
      {R"({"cases": [{"name": "a", "steps": [{"on": "ev.X", "do": [{"log": [["ev.Y"]], "x": 1}]}]}]})",
       "malformed at /cases/0/steps/0/do/0/x: member \"x\" is not part of a \"log\" step"},
      {R"({"cases": [{"name": "a", "steps": [{"call": "p.X", "result": 1, "error": {}}]}]})",
       "malformed at /cases/0/steps/0: a step expects either a result or an error, not both"},
      {R"({"cases": [{"name": "a", "steps": [)", "malformed at \"\": not valid JSON: "},
      {R"({"case": []})", "malformed at /case: member \"case\" is not part of a vector file"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    const std::string report = Run(r.text);
    EXPECT_EQ(report.rfind(std::string("v.json: ") + r.report, 0), 0u) << report;
    EXPECT_NE(report.find("\n0 passed, 1 failed\n"), std::string::npos) << report;
  }
}

TEST_F(RunnerTest, FailingCasesReportFileCaseStepExpectedAndActual) {
  const std::string report = Run(R"({"cases": [
    {"name": "passes", "steps": [{"new": "p", "class": "clsZqTestProbe"},
                                 {"call": "p.Echo", "args": [5], "result": 5}]},
    {"name": "subtype differs", "steps": [{"new": "p", "class": "clsZqTestProbe"},
                                          {"call": "p.Echo", "args": [{"int": 5}], "result": 5}]},
    {"name": "unknown name", "steps": [{"call": "q.Echo", "args": [1]}]},
    {"name": "stops at the first failure", "steps": [
      {"new": "p", "class": "clsZqTestProbe"},
      {"call": "p.Nope", "error": {"number": 5}},
      {"call": "p.Echo", "args": [1], "result": 2}]}
  ]})");
  EXPECT_EQ(report,
            "v.json: case \"subtype differs\": step 2 (call p.Echo) at /cases/1/steps/1: expected "
            "5, actual {\"int\":5}\n"
            "v.json: case \"unknown name\": step 1 (call q.Echo) at /cases/2/steps/0: no object or "
            "variable named \"q\"\n"
            "v.json: case \"stops at the first failure\": step 2 (call p.Nope) at "
            "/cases/3/steps/1: expected error {\"number\":5}, actual error {\"number\":438,"
            "\"source\":\"Keystrel10\",\"description\":\"Object doesn't support this property or "
            "method\"}\n"
            "1 passed, 3 failed\n");
}

TEST_F(RunnerTest, EveryCaseStartsFresh) {
  // The first case writes a value, keeps a key open, names the predeclared
  // instance and sets its state; none of it may reach the second case.
  const std::string text = R"({"cases": [
    {"name": "leaves traces", "env": {"PROBE_VAR": "x"}, "steps": [
      {"new": "g", "global": "clsZqTestProbe"},
      {"let": "g.Number", "value": 7},
      {"call": "g.WriteValue", "args": [-2147483647, "T", "v", "x"]},
      {"call": "g.Hold", "args": [-2147483647, "T"], "result": 0},
      {"handles": 1}]},
    {"name": "sees none", "steps": [
      {"handles": 0},
      {"new": "g", "global": "clsZqTestProbe"},
      {"get": "g.Number", "result": 0},
      {"call": "g.ReadValue", "args": [-2147483647, "T", "v"], "error": {"number": 2}},
      {"call": "g.Expand", "args": ["%PROBE_VAR%"], "result": "%PROBE_VAR%"}]}
  ]})";
  EXPECT_EQ(Run(text), "2 passed, 0 failed\n");
  EXPECT_EQ(Run(text, platform::StoreKind::kSqlite), "2 passed, 0 failed\n");
}

TEST_F(RunnerTest, DirectoriesRunTheirJsonFilesInNameOrder) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("runner-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto write = [&](const char* name, const char* text) { std::ofstream(dir / name) << text; };
  const char* failing = R"({"cases": [{"name": "x", "steps": [{"handles": 1}]}]})";
  write("b.json", failing);
  write("a.json", failing);
  write("c.txt", failing);  // not a vector file
  std::ostringstream out;
  {
    Runner runner(RunnerOptions{}, out);
    runner.RunPath(dir.string());
    runner.RunPath((dir / "missing.json").string());
    runner.PrintSummary();
    EXPECT_EQ(runner.failed(), 3);
  }
  const std::string d = dir.string();
  EXPECT_EQ(out.str(),
            d +
                "/a.json: case \"x\": step 1 (handles 1) at /cases/0/steps/0: expected 1 open key "
                "handles, actual 0\n" +
                d +
                "/b.json: case \"x\": step 1 (handles 1) at /cases/0/steps/0: expected 1 open "
                "key handles, actual 0\n" +
                d + "/missing.json: cannot read the file\n0 passed, 3 failed\n");
  std::filesystem::remove_all(dir);
}

TEST_F(RunnerTest, CaseFilterRunsOnlyMatchingCases) {
  std::ostringstream out;
  Runner runner(RunnerOptions{platform::StoreKind::kMemory, "keep"}, out);
  runner.RunText("v.json", R"({"cases": [
    {"name": "keep me", "steps": [{"handles": 0}]},
    {"name": "skip me", "steps": [{"handles": 9}]}]})");
  EXPECT_EQ(runner.passed(), 1);
  EXPECT_EQ(runner.failed(), 0);
}

}  // namespace
}  // namespace keystrel::conformance
