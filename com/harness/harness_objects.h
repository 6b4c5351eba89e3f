// The harness's COM classes: the object the generated script drives
// ("Keystrel10Test.Harness"), the hooks object the library's test seam
// creates ("Keystrel10Test.HostHooks"), and the client objects a case hands
// to the library (recorders, event sinks, class objects for a case's
// programmatic identifiers). Each is a fresh object owned by its caller
// (returned with one reference).
#ifndef KEYSTREL_COM_HARNESS_HARNESS_OBJECTS_H_
#define KEYSTREL_COM_HARNESS_HARNESS_OBJECTS_H_

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "frame/ustring.h"

namespace keystrel::harness {

IDispatch* NewHarness();
IDispatch* NewHostHooks();

// Logs every call as "<name>.<Member>"; with `methods`, any other member is
// unknown (DISP_E_UNKNOWNNAME, which a script sees as 438) and not logged.
IDispatch* NewRecorder(std::uint64_t generation, UString name,
                       std::optional<std::vector<UString>> methods);

// Answers the event interface `events_iid` too; each event is logged as
// "<name>.<EventName>" (names by dispatch identifier).
IDispatch* NewEventSink(std::uint64_t generation, UString name, const IID& events_iid,
                        std::map<DISPID, UString> events);

// Every instance is a new recorder logged under `name`.
IClassFactory* NewRecorderFactory(std::uint64_t generation, UString name);

// Class objects of the two registered classes.
IClassFactory* NewClassFactory(IDispatch* (*make)());

}  // namespace keystrel::harness

#endif  // KEYSTREL_COM_HARNESS_HARNESS_OBJECTS_H_
