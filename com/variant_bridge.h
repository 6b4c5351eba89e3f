// VARIANT, BSTR and SAFEARRAY converted to and from the frame's values. This
// is the only place the two representations meet.
//
// Objects: a frame object crosses as the IDispatch of its COM wrapper (the
// same wrapper for the same object, so identity holds); an IDispatch that is
// one of our wrappers comes back as its frame object, any other as a proxy
// that calls it late-bound, and that proxy goes back out as the client's own
// IDispatch.
//
// Failures raise AutomationError (458 for a type the frame cannot hold, 5
// for a multi-dimensional array).
#ifndef KEYSTREL_COM_VARIANT_BRIDGE_H_
#define KEYSTREL_COM_VARIANT_BRIDGE_H_

#include <windows.h>
#include <oaidl.h>

#include "frame/variant.h"

namespace keystrel::com {

// Reads `in` (following VT_BYREF) into a frame value.
Variant FromVariant(const VARIANT& in);
// Writes `value` into `out`, which must hold nothing that needs freeing
// (VariantInit or VariantClear first).
void ToVariant(const Variant& value, VARIANT* out);
// Stores `value` into the caller's variable that `ref` (a VT_BYREF variant)
// points at, converted to that variable's type when it is not a variant.
void WriteBack(const Variant& value, VARIANT& ref);

BSTR ToBstr(UStringView text);
UString FromBstr(BSTR text);

}  // namespace keystrel::com

#endif  // KEYSTREL_COM_VARIANT_BRIDGE_H_
