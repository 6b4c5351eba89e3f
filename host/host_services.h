// clsZqKeystrel10A: the library's host-services object.
//
// Hands out the library's application object (one per thread), loads the
// library's resources by number, shows the maker's About box, and keeps one
// object reference that every instance on a thread shares
// (`BuddyObjectGlobal`). Instances hold no state of their own: creating or
// ending one does nothing.
//
// The library carries no string, picture or data resources, so the three
// resource members always fail with the runtime's resource-not-found error
// (326, "Resource with identifier 'N' not found") once their arguments are
// accepted.
//
// From C++:
//   Ref<HostServices> host = HostServices::Create();
//   Ref<Object> app = host->GetProStdProperties();    // the App object
//   host->set_BuddyObjectGlobal(some_object);         // seen by every instance
//   host->About();                                    // 0, unless the report fails
// By name: CreateObjectByProgId(u"Keystrel10.clsZqKeystrel10A"), then
// CallByName(*obj, u"About").
//
// Thread safety: an automation object of its creating thread. The application
// object and the shared slot are the calling thread's.
#ifndef KEYSTREL_HOST_HOST_SERVICES_H_
#define KEYSTREL_HOST_HOST_SERVICES_H_

#include <cstdint>
#include <string>

#include "frame/object.h"
#include "frame/ustring.h"
#include "frame/variant.h"

namespace keystrel {

class HostServices final : public Object {
 public:
  // The thread's module slot that holds BuddyObjectGlobal.
  static constexpr char kBuddySlot[] = "clsZqKeystrel10A.BuddyObjectGlobal";

  static Ref<HostServices> Create();
  HostServices() = default;

  const ClassInfo* class_info() const noexcept override;

  // The thread's application object, created on its first use. Raises nothing.
  Ref<Object> GetProStdProperties() const;

  // The string resource `lResId`: raises 326 for every number.
  UString GetProResStrings(std::int32_t lResId) const;

  // The picture resource `lResId` of the kind `lRestype` (0 bitmap, 1 icon,
  // 2 cursor). The kind is converted to a 16-bit integer first: outside
  // -32768 to 32767 raises 6 before anything is looked up; otherwise raises
  // 326.
  Ref<Object> GetProResPicture(std::int32_t lResId, std::int32_t lRestype) const;

  // The custom resource `lResId` of the type `vRestype` (a number or a
  // name), as a byte array. A type that is neither raises 13 (94 for Null);
  // otherwise raises 326, since no data resource is stored.
  Variant GetProResData(std::int32_t lResId, const Variant& vRestype) const;

  // Shows the maker's About box (see host/zqbr_common.h) and returns 0.
  // Failures of the About box are reported through the maker's error report
  // and do not reach the caller; a failing report does (429 when the report's
  // class cannot be created either).
  std::int32_t About();

  // The object in the thread's shared slot; an empty Ref (Nothing) before
  // anything was stored.
  Ref<Object> BuddyObjectGlobal() const;

  // Stores `value` (any object, or none) in the thread's shared slot and
  // releases what the slot held before.
  void set_BuddyObjectGlobal(Ref<Object> value);
};

// Adds clsZqKeystrel10A, clsZqRegyGeneralA, clsZqRegyAdvancedA and the
// runtime's error object to the catalogue.
void RegisterHostModule();

}  // namespace keystrel

#endif  // KEYSTREL_HOST_HOST_SERVICES_H_
