#include "frame/object.h"

#include "frame/catalogue.h"
#include "frame/error.h"

namespace keystrel {

std::int32_t Object::IdOfName(UStringView name) {
  const ClassInfo* cls = class_info();
  return cls ? cls->IdOfName(name) : kDispidUnknown;
}

Variant Object::Invoke(std::int32_t dispid, std::uint16_t kind, std::span<Arg> args) {
  const ClassInfo* cls = class_info();
  // An object without a class has no members a caller could reach by id.
  if (!cls) RaiseError(rt::kMemberNotFound);
  return InvokeMember(*this, *cls, dispid, kind, args);
}

}  // namespace keystrel
