// Event sources: a class that declares an event interface owns one
// EventSource; clients connect sink objects to it. Raising an event calls the
// event's member (by its dispatch identifier, as a connection point does) on
// every connected sink in connection order, synchronously, before the raising
// member continues. By-reference arguments are passed by reference, so a sink
// may change them. An error raised by a sink propagates to the raising member.
//
// Sinks may connect or disconnect while an event is being raised; a sink
// connected during a raise is first called on the next raise.
#ifndef KEYSTREL_FRAME_EVENTS_H_
#define KEYSTREL_FRAME_EVENTS_H_

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "frame/catalogue.h"
#include "frame/dispatch.h"
#include "frame/object.h"

namespace keystrel {

class EventSource {
 public:
  explicit EventSource(std::shared_ptr<const EventInterfaceInfo> iface)
      : iface_(std::move(iface)) {}

  const EventInterfaceInfo& interface_info() const { return *iface_; }

  // Connects a sink; returns its cookie (never 0).
  std::uint32_t Advise(Ref<Object> sink);
  // Disconnects; false when the cookie is unknown.
  bool Unadvise(std::uint32_t cookie);
  bool has_sinks() const noexcept { return !sinks_.empty(); }

  // Raises event `dispid` with `args` (by-value or by-reference Args).
  void Raise(std::int32_t dispid, std::span<Arg> args);

  // Disconnects every sink (an object's end).
  void Clear() { sinks_.clear(); }

 private:
  std::shared_ptr<const EventInterfaceInfo> iface_;
  std::vector<std::pair<std::uint32_t, Ref<Object>>> sinks_;
  std::uint32_t next_cookie_ = 1;
  // Expires with the source, so a raise notices when a sink ended the object
  // that owns it.
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_EVENTS_H_
