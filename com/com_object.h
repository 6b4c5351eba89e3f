// The COM face of a frame object: IDispatch over the class catalogue, the
// vtable of its class's dual interface `_<class>` (com/dual_interface.h),
// IProvideClassInfo, ISupportErrorInfo, connection points for a class that
// declares events, and IEnumVARIANT for the frame's enumerators.
//
// One wrapper per frame object at a time (Wrap returns the live one when it
// exists), so clients comparing references see one identity. The wrapper
// holds a reference to its object; the object ends when the last client
// reference and the last library reference are gone.
//
// Thread safety: apartment-threaded, as registered.
#ifndef KEYSTREL_COM_COM_OBJECT_H_
#define KEYSTREL_COM_COM_OBJECT_H_

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>

#include "frame/object.h"

namespace keystrel::com {

// The IDispatch of `object`'s wrapper, AddRef'ed; nullptr for nullptr. A
// client's object that came in through the bridge goes back out as the
// client's own IDispatch, never wrapped again, so it keeps its identity.
IDispatch* Wrap(Object* object);

// The frame object behind `unknown` when it is one of our wrappers, else
// nullptr.
Ref<Object> Unwrap(IUnknown* unknown);

// Turns the exception in flight into the client's error: EXCEPINFO (when
// given) and the thread's IErrorInfo. Returns the HRESULT to give back.
// REQUIRES: called inside a catch block.
HRESULT ReportCurrentException(EXCEPINFO* excep, const IID& iid);

}  // namespace keystrel::com

#endif  // KEYSTREL_COM_COM_OBJECT_H_
