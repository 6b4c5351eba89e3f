#include "tools/conformance/runner.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "tools/conformance/case_runner.h"
#include "tools/conformance/vector_parser.h"

namespace keystrel::conformance {
namespace {

namespace fs = std::filesystem;

constexpr char kUsage[] =
    "usage: keystrel-conformance [--store memory|sqlite] [--case TEXT] PATH...\n"
    "  PATH      a vector file, or a directory: every *.json in it, in name order\n"
    "  --store   the registry provider each case runs on (default memory)\n"
    "  --case    run only the cases whose name contains TEXT\n";

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// $TMPDIR when set; otherwise a memory-backed folder when there is one: the
// vectors check what a client sees, not durability, and the per-write
// synchronisation of a disk folder makes a run many times slower.
fs::path TempBase() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir && *tmpdir) return tmpdir;
  std::error_code ec;
  if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK | X_OK) == 0) {
    return "/dev/shm";
  }
  fs::path base = fs::temp_directory_path(ec);
  return ec ? fs::path("/tmp") : base;
}

}  // namespace

Runner::Runner(RunnerOptions options, std::ostream& out) : options_(std::move(options)), out_(out) {
  ::unsetenv("KEYSTREL_COMPUTERS");
}

Runner::~Runner() {
  if (temp_dir_.empty()) return;
  // The last case's file is still the local store; let it go before removing.
  platform::UseLocalStore(platform::StoreKind::kMemory);
  std::error_code ec;
  fs::remove_all(temp_dir_, ec);
}

std::string Runner::FreshSqliteFile() {
  if (temp_dir_.empty()) {
    std::string pattern = (TempBase() / "keystrel-conformance-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) temp_dir_ = pattern;
  }
  std::string name = "case-" + std::to_string(++sqlite_files_) + ".db";
  if (temp_dir_.empty()) {  // no private folder: a name no other run uses
    return (TempBase() / ("keystrel-conformance-" + std::to_string(::getpid()) + "-" + name))
        .string();
  }
  return (temp_dir_ / name).string();
}

void Runner::DropSqliteFile(const std::string& file) {
  // Switching away closes the file; its journal files go with it.
  platform::UseLocalStore(platform::StoreKind::kMemory);
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(file + suffix, ec);
}

void Runner::RunPath(const std::string& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) {
    RunFile(path);
    return;
  }
  std::vector<fs::path> files;
  for (const fs::directory_entry& e : fs::directory_iterator(path, ec)) {
    if (e.path().extension() == ".json" && e.is_regular_file(ec)) files.push_back(e.path());
  }
  if (ec) {
    out_ << path << ": cannot list: " << ec.message() << "\n";
    ++failed_;
    return;
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) RunFile(f);
}

void Runner::RunFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    out_ << file.string() << ": cannot read the file\n";
    ++failed_;
    return;
  }
  RunText(file.string(), text.str());
}

void Runner::RunText(const std::string& label, std::string_view text) {
  VectorError error;
  std::optional<VectorFile> file = ParseVectorText(text, &error);
  if (!file) {
    out_ << label << ": malformed at " << (error.pointer.empty() ? "\"\"" : error.pointer) << ": "
         << error.message << "\n";
    ++failed_;
    return;
  }
  for (const Case& c : file->cases) {
    if (!options_.case_filter.empty() && c.name.find(options_.case_filter) == std::string::npos) {
      continue;
    }
    StoreChoice store{options_.store, {}};
    if (store.kind == platform::StoreKind::kSqlite) store.location = FreshSqliteFile();
    std::optional<CaseFailure> failure = RunCase(c, store);
    if (store.kind == platform::StoreKind::kSqlite) DropSqliteFile(store.location);
    if (failure) {
      out_ << label << ": case " << Quoted(c.name) << ": " << failure->where << ": "
           << failure->message << "\n";
      ++failed_;
    } else {
      ++passed_;
    }
    out_.flush();
  }
}

void Runner::PrintSummary() {
  out_ << passed_ << " passed, " << failed_ << " failed\n";
  out_.flush();
}

int ConformanceMain(int argc, char** argv) {
  RunnerOptions options;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--store" || arg == "--case") {
      if (i + 1 >= argc) {
        std::cerr << "keystrel-conformance: " << arg << " needs a value\n" << kUsage;
        return 2;
      }
      const std::string value = argv[++i];
      if (arg == "--case") {
        options.case_filter = value;
      } else if (value == "memory") {
        options.store = platform::StoreKind::kMemory;
      } else if (value == "sqlite") {
        options.store = platform::StoreKind::kSqlite;
      } else {
        std::cerr << "keystrel-conformance: unknown store \"" << value << "\" (memory or sqlite)\n";
        return 2;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << "keystrel-conformance: unknown option " << arg << "\n" << kUsage;
      return 2;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  Runner runner(options, std::cout);
  for (const std::string& p : paths) runner.RunPath(p);
  runner.PrintSummary();
  return runner.failed() == 0 ? 0 : 1;
}

}  // namespace keystrel::conformance
