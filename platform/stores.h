// Which store serves the local computer and which serve other computers.
// admin.h is the public face; the registry functions use these directly.
//
// Thread safety: safe from any thread.
#ifndef KEYSTREL_PLATFORM_STORES_H_
#define KEYSTREL_PLATFORM_STORES_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/admin.h"
#include "platform/provider.h"
#include "platform/status.h"

namespace keystrel::platform {

using StoreRef = std::shared_ptr<RegistryProvider>;

// Opens a store: kMemory ignores `location`; kSqlite opens (or creates) that file.
Result<StoreRef> OpenStore(StoreKind kind, const std::string& location);

// The store serving the local computer, opening the default one on first
// use. A store that could not be opened gives its error on every call (never
// a silently empty registry).
Result<StoreRef> LocalStore();
void SetLocalStore(Result<StoreRef> store);

// True for "" and for the computer's own name or its short form, with or
// without a leading "\\", in any case.
bool IsLocalComputerName(std::u16string_view name);

// The store of another computer: AddComputer's, else $KEYSTREL_COMPUTERS's
// (read once until ClearComputers). kBadNetPath for unknown names.
Result<StoreRef> ComputerStore(std::u16string_view name);

// `computer` empty or local: the local store; otherwise ComputerStore.
Result<StoreRef> StoreFor(std::u16string_view computer);

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_STORES_H_
