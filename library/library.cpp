#include "library/library.h"

#include <mutex>

#include "frame/host.h"

namespace keystrel {

void RegisterAllClassModules();

void InitializeLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterFrameClasses();
    RegisterAllClassModules();
  });
}

}  // namespace keystrel
