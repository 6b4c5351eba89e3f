#include "tools/conformance/client_objects.h"

#include <string>
#include <utility>

#include "frame/catalogue.h"
#include "frame/error.h"
#include "frame/variant.h"

namespace keystrel::conformance {
namespace {

void Deliver(const std::weak_ptr<CallLogLink>& link, const UString& name, std::span<Arg> args) {
  if (std::shared_ptr<CallLogLink> l = link.lock(); l && l->log) l->log->OnClientCall(name, args);
}

}  // namespace

Recorder::Recorder(std::weak_ptr<CallLogLink> link, UString name,
                   std::optional<std::vector<UString>> methods)
    : link_(std::move(link)), name_(std::move(name)), fixed_(methods.has_value()) {
  if (methods) members_ = std::move(*methods);
}

std::int32_t Recorder::IdOfName(UStringView name) {
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (TextEquals(members_[i], name)) return static_cast<std::int32_t>(i + 1);
  }
  if (fixed_) return kDispidUnknown;
  // Names are logged as first asked for.
  members_.emplace_back(name);
  return static_cast<std::int32_t>(members_.size());
}

Variant Recorder::Invoke(std::int32_t dispid, std::uint16_t, std::span<Arg> args) {
  // No default member and no enumerator: a recorder is only ever called by name.
  if (dispid < 1 || static_cast<std::size_t>(dispid) > members_.size()) {
    RaiseError(rt::kMemberNotFound);
  }
  Deliver(link_, name_ + u"." + members_[static_cast<std::size_t>(dispid - 1)], args);
  return Variant();
}

EventSink::EventSink(std::weak_ptr<CallLogLink> link, UString name,
                     const EventInterfaceInfo& events)
    : link_(std::move(link)), name_(std::move(name)) {
  for (const EventInfo& e : events.events) events_[e.dispid] = e.name;
}

std::int32_t EventSink::IdOfName(UStringView name) {
  for (const auto& [dispid, event] : events_) {
    if (TextEquals(event, name)) return dispid;
  }
  return kDispidUnknown;
}

Variant EventSink::Invoke(std::int32_t dispid, std::uint16_t, std::span<Arg> args) {
  auto it = events_.find(dispid);
  // An event the interface does not declare is still logged, so the vector
  // shows it rather than losing it.
  UString event = it != events_.end() ? it->second : u"#" + Utf8ToU(std::to_string(dispid));
  Deliver(link_, name_ + u"." + event, args);
  return Variant();
}

}  // namespace keystrel::conformance
