#include "library/library.h"

#include <mutex>

namespace keystrel {

void RegisterAllClassModules();

void InitializeLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterAllClassModules(); });
}

}  // namespace keystrel
