// The texts clsZqRegyHandlerD records for registry result numbers.
//
// The table belongs to this class, not to the platform: a number keeps the
// text listed here even where the platform means something else by it (5, the
// platform's refused access, reads "Cannot write to specified key.").
//
// Thread safety: a pure function.
#ifndef KEYSTREL_HANDLER_D_MESSAGE_TABLE_H_
#define KEYSTREL_HANDLER_D_MESSAGE_TABLE_H_

#include <cstdint>

#include "frame/ustring.h"

namespace keystrel {

// The message for registry result `result`; every number without an entry
// (0, negative numbers, 234, ...) gives "Error performing task on the
// Registry.".
UString RegistryResultMessage(std::int32_t result);

}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_D_MESSAGE_TABLE_H_
