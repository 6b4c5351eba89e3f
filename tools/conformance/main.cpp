// keystrel-conformance: the conformance vectors run against the whole library.
#include "library/library.h"
#include "tools/conformance/runner.h"

int main(int argc, char** argv) {
  keystrel::InitializeLibrary();
  return keystrel::conformance::ConformanceMain(argc, argv);
}
