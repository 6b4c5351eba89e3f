// keystrel-conformance-selftest: the runner over the test-only probe class
// instead of the library, so the runner is proven on its own.
#include "frame/host.h"
#include "tools/conformance/runner.h"
#include "tools/conformance/testing/probe.h"

int main(int argc, char** argv) {
  keystrel::RegisterFrameClasses();
  keystrel::conformance::testing::RegisterProbeClasses();
  return keystrel::conformance::ConformanceMain(argc, argv);
}
