// clsZqRegyHandlerA: creation, end and the open-key table.
#include "handler_a/handler_a.h"

#include "frame/catalogue.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel {

// Unqualified on purpose: on Windows these names are <windows.h>'s own (some
// of them macros), here they come from keystrel::platform.
using namespace platform;  // NOLINT(build/namespaces)

std::shared_ptr<const EventInterfaceInfo> HandlerA::EventInterface() {
  static const std::shared_ptr<const EventInterfaceInfo> kInterface = [] {
    auto iface = std::make_shared<EventInterfaceInfo>();
    iface->name = u"__clsZqRegyHandlerA";
    ParamInfo reg_key{u"RegKey", VarType::kString};
    ParamInfo has_children{u"HasChildren", VarType::kBoolean};
    iface->events.push_back(EventInfo{u"KeyEnumerated", kKeyEnumerated, {reg_key, has_children}});
    ParamInfo value{u"Value", VarType::kObject, /*by_ref=*/true};
    iface->events.push_back(EventInfo{u"ValueEnumerated", kValueEnumerated, {value}});
    return std::shared_ptr<const EventInterfaceInfo>(std::move(iface));
  }();
  return kInterface;
}

HandlerA::HandlerA() : events_(EventInterface()) {}

Ref<HandlerA> HandlerA::Create() { return MakeRef<HandlerA>(); }

HandlerA::~HandlerA() {
  for (std::int32_t handle : table_.TakeOpenHandles()) RegCloseKey(HKeyFromLong(handle));
  events_.Clear();
}

std::int32_t HandlerA::Item(const Variant& vntIndexKey) const {
  const auto slot = table_.Find(vntIndexKey);
  return slot ? table_.HandleAt(*slot) : -1;
}

void HandlerA::Item(const Variant& vntIndexKey, std::int32_t vNewValue) {
  if (const auto slot = table_.Find(vntIndexKey)) table_.Replace(*slot, vNewValue);
}

std::int32_t HandlerA::OpenKey(std::int32_t uKey, const UString& szSubKey, bool fMustExist,
                               const UString& vntIndexKey) {
  const HKEY parent = HKeyFromLong(uKey);
  const std::string path = ToAnsi(szSubKey);
  if (fMustExist) {
    HKEY probe = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &probe) != ERROR_SUCCESS) {
      return -1;
    }
    CloseKey(Variant::Long(LongFromHKey(probe)));
  }
  HKEY opened = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &opened, &disposition) != ERROR_SUCCESS) {
    return -1;
  }
  const std::int32_t handle = LongFromHKey(opened);
  // A key already in use leaves the handle out of the table; the caller still
  // gets it and closes it by handle.
  table_.Add(handle, vntIndexKey.empty() ? OpenKeyTable::GeneratedKey(handle) : vntIndexKey);
  return handle;
}

void HandlerA::CloseKey(const Variant& uKey) {
  if (uKey.type() == VarType::kLong) {
    const std::int32_t handle = uKey.long_value();
    if (const auto slot = table_.FindKey(OpenKeyTable::GeneratedKey(handle)))
      table_.RemoveAt(*slot);
    table_.MarkClosed(handle);
    RegCloseKey(HKeyFromLong(handle));
  } else if (uKey.is_string()) {
    if (const auto slot = table_.FindKey(uKey.string())) {
      const auto [handle, open] = table_.RemoveAt(*slot);
      if (open) {
        table_.MarkClosed(handle);
        RegCloseKey(HKeyFromLong(handle));
      }
    }
  }
}

}  // namespace keystrel
