// MemoryProvider: a registry store held in the process's memory. It is both
// the test double every platform test can run on and a real store for
// callers that want a registry that ends with the process.
//
// Thread safety: safe from any thread.
#ifndef KEYSTREL_PLATFORM_MEMORY_PROVIDER_H_
#define KEYSTREL_PLATFORM_MEMORY_PROVIDER_H_

#include <memory>
#include <string>

#include "platform/internal/tree_provider.h"

namespace keystrel::platform {

class MemoryProvider final : public detail::TreeProvider {
 public:
  // A fresh store holding the roots and the keys their views need; HKCU is
  // HKU\`user` (the current user's name when empty).
  explicit MemoryProvider(std::u16string user = {});
};

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_MEMORY_PROVIDER_H_
