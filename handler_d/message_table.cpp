#include "handler_d/message_table.h"

namespace keystrel {

UString RegistryResultMessage(std::int32_t result) {
  switch (result) {
    case 1:
      return u"Error with database.";
    case 2:
      return u"The key specified is invalid or cannot be found.";
    case 3:
      return u"Cannot open specified key.";
    case 4:
      return u"Cannot read specified key.";
    case 5:
      return u"Cannot write to specified key.";
    case 6:
      return u"Out of memory while performing registry task.";
    case 7:
      return u"The parameter specified is invalid.";
    case 8:
      return u"Access was denied.";
    case 87:
      return u"The parameters specified is invalid.";
    case 259:
      return u"There are no more items to return.";
    default:
      return u"Error performing task on the Registry.";
  }
}

}  // namespace keystrel
