// Runs one conformance case the way a script client would: a fresh registry
// and fresh per-thread state, every member called late-bound by name, client
// objects (recorders, event sinks) and the yield and message-box hooks logging
// what the library does to them, reactions run inside those callbacks, and the
// registry checked after the last step. Every object is released at the end.
//
// Thread safety: one case at a time per thread; the per-thread state of the
// automation layer (hooks, predeclared instances) is the case's while it runs.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_CASE_RUNNER_H_
#define KEYSTREL_TOOLS_CONFORMANCE_CASE_RUNNER_H_

#include <optional>
#include <string>

#include "platform/admin.h"
#include "tools/conformance/vector.h"

namespace keystrel::conformance {

// Where the case's local registry lives.
struct StoreChoice {
  platform::StoreKind kind = platform::StoreKind::kMemory;
  std::string location;  // the SQLite file for kSqlite (a fresh one per case)
};

struct CaseFailure {
  // "step 3 (call h.KeyExists) at /cases/0/steps/2", "registry_after at ...".
  std::string where;
  // "expected 5, actual {\"int\": 5}".
  std::string message;
};

// The first difference, or nullopt when the case passed.
std::optional<CaseFailure> RunCase(const Case& c, const StoreChoice& store);

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_CASE_RUNNER_H_
