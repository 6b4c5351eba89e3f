#include "platform/memory_provider.h"

namespace keystrel::platform {

MemoryProvider::MemoryProvider(std::u16string user)
    : TreeProvider(/*resident=*/true, user.empty() ? detail::CurrentUserKeyName() : user) {
  // A resident tree cannot fail to take its skeleton.
  (void)EnsureSkeleton();
}

}  // namespace keystrel::platform
