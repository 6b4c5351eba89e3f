#include "host/host_services.h"

#include <atomic>
#include <string>
#include <utility>

#include "frame/catalogue.h"
#include "frame/convert.h"
#include "frame/error.h"
#include "frame/host.h"
#include "host/member_less_classes.h"
#include "host/zqbr_common.h"

namespace keystrel {

namespace {

// Catalogue entries are looked up once the module is registered; a miss
// before that is not kept.
const ClassInfo* CachedClass(std::atomic<const ClassInfo*>& cached, UStringView name) {
  const ClassInfo* info = cached.load(std::memory_order_acquire);
  if (info == nullptr) {
    info = Catalogue::Instance().FindClass(name);
    cached.store(info, std::memory_order_release);
  }
  return info;
}

// The runtime names the identifier it could not find in its text.
[[noreturn]] void RaiseResourceNotFound(std::int32_t id) {
  UString text = StandardErrorText(rt::kResourceNotFound);
  const UString number = Utf8ToU(std::to_string(id));
  if (std::size_t at = text.find(u'%'); at != UString::npos) text.replace(at, 1, number);
  RaiseError(rt::kResourceNotFound, {}, std::move(text));
}

}  // namespace

Ref<HostServices> HostServices::Create() { return MakeRef<HostServices>(); }

const ClassInfo* HostServices::class_info() const noexcept {
  static std::atomic<const ClassInfo*> cached{nullptr};
  return CachedClass(cached, u"clsZqKeystrel10A");
}

Ref<Object> HostServices::GetProStdProperties() const { return ApplicationObject(); }

UString HostServices::GetProResStrings(std::int32_t lResId) const { RaiseResourceNotFound(lResId); }

Ref<Object> HostServices::GetProResPicture(std::int32_t lResId, std::int32_t lRestype) const {
  // The runtime takes the kind as a 16-bit integer; the conversion comes
  // before the lookup, so an overflow wins over a missing resource.
  ToInteger(VLong(lRestype));
  RaiseResourceNotFound(lResId);
}

Variant HostServices::GetProResData(std::int32_t lResId, const Variant& vRestype) const {
  // A type is a number or a name; anything else is refused as the runtime
  // refuses a value that has neither form.
  if (vRestype.is_null()) RaiseError(rt::kInvalidUseOfNull);
  if (!vRestype.is_string() && !IsNumeric(vRestype)) RaiseError(rt::kTypeMismatch);
  RaiseResourceNotFound(lResId);
}

std::int32_t HostServices::About() {
  zqbr_common::AppAboutZqbr();
  return 0;
}

Ref<Object> HostServices::BuddyObjectGlobal() const {
  const Variant& slot = ModuleSlot(kBuddySlot);
  return slot.is_object() ? slot.object() : Ref<Object>();
}

void HostServices::set_BuddyObjectGlobal(Ref<Object> value) {
  // The previous object is released only after the slot holds the new one:
  // its ending may run client code that reads the slot.
  Variant previous = std::exchange(ModuleSlot(kBuddySlot), Variant::Object(std::move(value)));
}

Ref<RegyGeneral> RegyGeneral::Create() { return MakeRef<RegyGeneral>(); }

const ClassInfo* RegyGeneral::class_info() const noexcept {
  static std::atomic<const ClassInfo*> cached{nullptr};
  return CachedClass(cached, u"clsZqRegyGeneralA");
}

Ref<RegyAdvanced> RegyAdvanced::Create() { return MakeRef<RegyAdvanced>(); }

const ClassInfo* RegyAdvanced::class_info() const noexcept {
  static std::atomic<const ClassInfo*> cached{nullptr};
  return CachedClass(cached, u"clsZqRegyAdvancedA");
}

}  // namespace keystrel
