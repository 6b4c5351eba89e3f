#include "frame/events.h"

#include <algorithm>
#include <utility>

#include "frame/error.h"

namespace keystrel {

std::uint32_t EventSource::Advise(Ref<Object> sink) {
  if (!sink) RaiseError(rt::kObjectVariableNotSet);
  std::uint32_t cookie = next_cookie_++;
  if (cookie == 0) cookie = next_cookie_++;  // after wrapping round: 0 means "none"
  sinks_.emplace_back(cookie, std::move(sink));
  return cookie;
}

bool EventSource::Unadvise(std::uint32_t cookie) {
  auto it = std::find_if(sinks_.begin(), sinks_.end(),
                         [cookie](const auto& s) { return s.first == cookie; });
  if (it == sinks_.end()) return false;
  // Moved out before erasing: the sink's end may run client code that
  // touches this source again.
  Ref<Object> gone = std::move(it->second);
  sinks_.erase(it);
  return true;
}

void EventSource::Raise(std::int32_t dispid, std::span<Arg> args) {
  // Sinks run client code that may connect or disconnect sinks, so the walk
  // goes over the connections as they stood when the event began; a sink
  // disconnected before its turn is skipped.
  const std::vector<std::pair<std::uint32_t, Ref<Object>>> snapshot = sinks_;
  const std::weak_ptr<const bool> alive = alive_;
  for (const auto& [cookie, sink] : snapshot) {
    if (alive.expired()) return;  // a sink released the object raising the event
    const bool connected = std::any_of(sinks_.begin(), sinks_.end(), [c = cookie](const auto& s) {
      return s.first == c;
    });
    if (!connected) continue;
    // Every sink sees the values the event was raised with; only
    // by-reference arguments carry one sink's changes to the next.
    std::vector<Arg> call(args.begin(), args.end());
    sink->Invoke(dispid, kMethod, call);
  }
}

}  // namespace keystrel
