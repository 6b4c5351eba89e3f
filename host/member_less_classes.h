// clsZqRegyGeneralA and clsZqRegyAdvancedA: creatable classes whose default
// interfaces declare no members. They hold no state; creating or ending one
// does nothing, and any member asked for by name raises 438.
//
// From C++: RegyGeneral::Create(); by name:
// CreateObjectByProgId(u"Keystrel10.clsZqRegyGeneralA").
//
// Thread safety: automation objects of their creating thread.
#ifndef KEYSTREL_HOST_MEMBER_LESS_CLASSES_H_
#define KEYSTREL_HOST_MEMBER_LESS_CLASSES_H_

#include "frame/object.h"

namespace keystrel {

class RegyGeneral final : public Object {
 public:
  static Ref<RegyGeneral> Create();
  RegyGeneral() = default;
  const ClassInfo* class_info() const noexcept override;
};

class RegyAdvanced final : public Object {
 public:
  static Ref<RegyAdvanced> Create();
  RegyAdvanced() = default;
  const ClassInfo* class_info() const noexcept override;
};

}  // namespace keystrel

#endif  // KEYSTREL_HOST_MEMBER_LESS_CLASSES_H_
