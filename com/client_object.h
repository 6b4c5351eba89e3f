// A client's IDispatch seen as a frame object: the buddy object of
// clsZqRegyHandlerA, an event sink connected through a connection point, the
// maker's library, any object a client passes in. Calls go late-bound through
// GetIDsOfNames and Invoke; a client's exception comes back as an
// AutomationError with the client's number, source and description.
#ifndef KEYSTREL_COM_CLIENT_OBJECT_H_
#define KEYSTREL_COM_CLIENT_OBJECT_H_

#include <windows.h>
#include <oaidl.h>

#include "frame/object.h"

namespace keystrel::com {

// REQUIRES: dispatch != nullptr. Takes its own reference.
Ref<Object> MakeClientObject(IDispatch* dispatch);

// The client's own IDispatch behind `object` when it is a client object made
// by MakeClientObject, else nullptr. Not AddRef'ed. Handing this back instead
// of a wrapper of ours keeps the client's identity: a script that stores an
// object and reads it back gets the very same object (`Is` holds).
IDispatch* ClientDispatchOf(Object* object);

// The error number a client receives for a failed call's EXCEPINFO or
// HRESULT: the run-time number for 0x800A.... codes, the code itself
// otherwise; and the reverse.
std::int32_t ErrorNumberFromHresult(HRESULT hr);
HRESULT HresultFromErrorNumber(std::int32_t number);

}  // namespace keystrel::com

#endif  // KEYSTREL_COM_CLIENT_OBJECT_H_
