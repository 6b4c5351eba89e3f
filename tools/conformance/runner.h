// The conformance runner: runs every case of every vector file it is given,
// reports one line per failing case and ends with "N passed, N failed".
//
//   keystrel-conformance [--store memory|sqlite] [--case TEXT] PATH...
//
// A PATH is a vector file or a directory (every *.json directly inside it, in
// name order). The classes under test must be registered in the catalogue
// before running (the library's InitializeLibrary, or a test's own classes).
//
// Report lines:
//   FILE: case "NAME": step N (ACTION) at POINTER: expected X, actual Y
//   FILE: malformed at POINTER: WHAT          (the file's cases are not run)
// A malformed or unreadable file counts as one failure.
//
// Thread safety: a Runner drives the calling thread's automation state and
// the process's local store; run one at a time.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_RUNNER_H_
#define KEYSTREL_TOOLS_CONFORMANCE_RUNNER_H_

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/admin.h"

namespace keystrel::conformance {

struct RunnerOptions {
  platform::StoreKind store = platform::StoreKind::kMemory;
  std::string case_filter;  // when set, only cases whose name contains it run
};

class Runner {
 public:
  // Forgets $KEYSTREL_COMPUTERS for this process: a case reaches exactly the
  // computers it lists.
  Runner(RunnerOptions options, std::ostream& out);
  ~Runner();  // removes the SQLite files it made
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // A file or a directory, as on the command line.
  void RunPath(const std::string& path);
  // Vector text as if read from a file shown as `label`.
  void RunText(const std::string& label, std::string_view text);

  // Writes "N passed, N failed".
  void PrintSummary();
  int passed() const noexcept { return passed_; }
  int failed() const noexcept { return failed_; }

 private:
  void RunFile(const std::filesystem::path& file);
  std::string FreshSqliteFile();
  void DropSqliteFile(const std::string& file);

  RunnerOptions options_;
  std::ostream& out_;
  std::filesystem::path temp_dir_;
  int sqlite_files_ = 0;
  int passed_ = 0;
  int failed_ = 0;
};

// The command line above; output on standard output, usage errors on standard
// error. Returns the exit status: 0 when nothing failed, 1 when something did,
// 2 for a usage error.
int ConformanceMain(int argc, char** argv);

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_RUNNER_H_
