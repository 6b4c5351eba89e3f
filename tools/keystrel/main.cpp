// keystrel: reg.exe's commands over the embedded registry store.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "platform/admin.h"
#include "tools/keystrel/cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::int32_t rc = keystrel::platform::UseDefaultStore();
  if (rc != 0) {
    std::cerr << "ERROR: The registry store " << keystrel::platform::DefaultStoreLocation()
              << " could not be opened (error " << rc << ").\r\n";
    return 1;
  }
  std::vector<std::string> args(argv + 1, argv + argc);
  keystrel::cli::Io io{std::cout, std::cerr, std::cin, isatty(STDERR_FILENO) == 1};
  const int exit_code = keystrel::cli::RunKeystrel(args, io);
  std::cout.flush();
  return exit_code;
}
