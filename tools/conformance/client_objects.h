// The client-side objects a case hands to the library: recorders (buddy
// objects, objects created through a case's programmatic identifiers) and
// event sinks. Both log every call they receive and return Empty; the log and
// the reactions it triggers belong to the running case (CallLog).
//
// A client object reaches its case through a weak link, so an object that the
// library keeps after the case has ended stays harmless: its calls are
// ignored.
//
// Thread safety: used on the case's thread only.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_CLIENT_OBJECTS_H_
#define KEYSTREL_TOOLS_CONFORMANCE_CLIENT_OBJECTS_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "frame/dispatch.h"
#include "frame/object.h"

namespace keystrel {
struct EventInterfaceInfo;
}

namespace keystrel::conformance {

class CallLog {
 public:
  virtual ~CallLog() = default;
  // Logs [name, arg...] and runs the reactions the entry triggers; `args` are
  // the call's own arguments, so by-reference ones can be assigned.
  virtual void OnClientCall(const UString& name, std::span<Arg> args) = 0;
};

// Shared by the case (owner) and its client objects (weak).
struct CallLogLink {
  CallLog* log = nullptr;
};

// A client object whose members are whatever the caller asks for; with a
// fixed list of methods, any other member is unknown (438) and not logged.
class Recorder final : public Object {
 public:
  Recorder(std::weak_ptr<CallLogLink> link, UString name,
           std::optional<std::vector<UString>> methods);

  std::int32_t IdOfName(UStringView name) override;
  Variant Invoke(std::int32_t dispid, std::uint16_t kind, std::span<Arg> args) override;

 private:
  std::weak_ptr<CallLogLink> link_;
  UString name_;
  bool fixed_;
  std::vector<UString> members_;  // dispatch identifier = index + 1
};

// Connected to an object's event source; each event is logged under
// "<name>.<EventName>".
class EventSink final : public Object {
 public:
  EventSink(std::weak_ptr<CallLogLink> link, UString name, const EventInterfaceInfo& events);

  std::int32_t IdOfName(UStringView name) override;
  Variant Invoke(std::int32_t dispid, std::uint16_t kind, std::span<Arg> args) override;

 private:
  std::weak_ptr<CallLogLink> link_;
  UString name_;
  std::map<std::int32_t, UString> events_;
};

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_CLIENT_OBJECTS_H_
