// The keystrel command line: reg.exe's commands (query, add, delete, copy,
// export, import, compare) and `grant` over the registry platform functions,
// with regedit's .reg files for export and import.
//
// RunKeystrel runs one command line against whatever store platform/admin.h
// has made current; main() picks the embedded default store first. Output
// lines end in CR LF and are UTF-8.
#ifndef KEYSTREL_TOOLS_KEYSTREL_CLI_H_
#define KEYSTREL_TOOLS_KEYSTREL_CLI_H_

#include <istream>
#include <ostream>
#include <span>
#include <string>

namespace keystrel::cli {

struct Io {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;  // answers to Yes/No prompts
  // A progress indication goes to `err` only when it is a terminal.
  bool progress = false;
};

// `args` are the arguments after the program name, UTF-8. Returns the exit
// code: 0 success, 1 failure; `compare` returns 2 when the keys differ.
int RunKeystrel(std::span<const std::string> args, Io& io);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_CLI_H_
