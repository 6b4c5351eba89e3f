#include "com/dual_interface.h"

#include <vector>

#include "com/com_object.h"
#include "frame/error.h"

namespace keystrel::com {
namespace {

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

VARIANT Missing() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

// An [out] variable holds nothing meaningful on entry; it holds its type's
// empty value until a result is stored, also when the call fails.
void ClearOut(const DualResult& out) {
  if (out.vt == VT_VARIANT) {
    VariantInit(static_cast<VARIANT*>(out.pointer));
  } else {
    std::memset(out.pointer, 0, DualSizeOf(out.vt));
  }
}

void RaiseConversionError(HRESULT hr) {
  RaiseError(hr == DISP_E_OVERFLOW ? rt::kOverflow : rt::kTypeMismatch);
}

// The object `value` holds, as an owned IDispatch (nullptr for Nothing and
// Empty); `value` gives it up.
IDispatch* TakeObject(VARIANT& value) {
  if (value.vt == VT_EMPTY) return nullptr;
  if (value.vt == VT_DISPATCH) {
    IDispatch* object = value.pdispVal;
    value.vt = VT_EMPTY;
    return object;
  }
  if (value.vt == VT_UNKNOWN) {
    if (!value.punkVal) return nullptr;
    IDispatch* object = nullptr;
    if (FAILED(value.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object)))) {
      RaiseError(rt::kTypeMismatch);
    }
    return object;
  }
  RaiseError(rt::kTypeMismatch);
}

// The array `value` holds with elements of type `element`, owned by the
// caller; `value` gives it up. An array of another element type is
// converted element by element, as an assignment to a typed array would.
SAFEARRAY* TakeArray(VARIANT& value, VARTYPE element) {
  if (value.vt == VT_EMPTY) return nullptr;
  if (!(value.vt & VT_ARRAY) || (value.vt & VT_BYREF)) RaiseError(rt::kTypeMismatch);
  SAFEARRAY* source = value.parray;
  if (value.vt == (VT_ARRAY | element) || !source) {
    value.vt = VT_EMPTY;
    return source;
  }
  if (SafeArrayGetDim(source) != 1) RaiseError(rt::kTypeMismatch);
  const VARTYPE from = value.vt & ~VT_ARRAY;
  LONG lbound = 0, ubound = -1;
  SafeArrayGetLBound(source, 1, &lbound);
  SafeArrayGetUBound(source, 1, &ubound);
  SAFEARRAY* target =
      SafeArrayCreateVector(element, lbound, static_cast<ULONG>(ubound - lbound + 1));
  if (!target) RaiseError(rt::kOutOfMemory);
  for (LONG i = lbound; i <= ubound; ++i) {
    VARIANT item;
    VariantInit(&item);
    HRESULT hr;
    if (from == VT_VARIANT) {
      hr = SafeArrayGetElement(source, &i, &item);
    } else if (from == VT_DECIMAL) {
      // A DECIMAL fills the whole VARIANT, its reserved word under vt.
      hr = SafeArrayGetElement(source, &i, &item.decVal);
      item.vt = VT_DECIMAL;
    } else {
      item.vt = from;
      hr = SafeArrayGetElement(source, &i, &item.llVal);
    }
    if (SUCCEEDED(hr) && element != VT_VARIANT) hr = VariantChangeType(&item, &item, 0, element);
    if (SUCCEEDED(hr)) {
      if (element == VT_VARIANT) {
        hr = SafeArrayPutElement(target, &i, &item);
      } else if (element == VT_BSTR || element == VT_DISPATCH || element == VT_UNKNOWN) {
        hr = SafeArrayPutElement(target, &i, item.byref);  // copies / AddRefs
      } else if (element == VT_DECIMAL) {
        DECIMAL d = item.decVal;
        d.wReserved = 0;  // held vt while in the VARIANT
        hr = SafeArrayPutElement(target, &i, &d);
      } else {
        hr = SafeArrayPutElement(target, &i, &item.llVal);
      }
    }
    VariantClear(&item);
    if (FAILED(hr)) {
      SafeArrayDestroy(target);
      RaiseConversionError(hr);
    }
  }
  return target;
}

// Stores `value` (the member's result) into the caller's variable, converted
// to the declared type.
void Store(VARIANT& value, const DualResult& out) {
  if (out.vt == VT_VARIANT) {
    *static_cast<VARIANT*>(out.pointer) = value;
    VariantInit(&value);
    return;
  }
  if (out.vt == VT_DISPATCH) {
    IDispatch* object = TakeObject(value);
    void* typed = object;
    if (object && out.iid) {
      // A member declared as one of our interfaces hands out that
      // interface of the object; an object of another class does not fit.
      HRESULT hr = object->QueryInterface(*out.iid, &typed);
      object->Release();
      if (FAILED(hr)) RaiseError(rt::kTypeMismatch);
    }
    *static_cast<void**>(out.pointer) = typed;
    return;
  }
  if (out.vt & VT_ARRAY) {
    *static_cast<SAFEARRAY**>(out.pointer) = TakeArray(value, out.vt & ~VT_ARRAY);
    return;
  }
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, &value, 0, out.vt);
  if (FAILED(hr)) RaiseConversionError(hr);
  if (out.vt == VT_DECIMAL) {
    *static_cast<DECIMAL*>(out.pointer) = converted.decVal;
  } else {
    // Scalars and the BSTR, whose ownership passes to the caller.
    std::memcpy(out.pointer, &converted.llVal, DualSizeOf(out.vt));
  }
}

// A failure that is not an automation error: no stale error object may be
// read as its explanation.
HRESULT Refuse(HRESULT hr) {
  SetErrorInfo(0, nullptr);
  return hr;
}

}  // namespace

HRESULT CallThroughDispatch(IDispatch* target, const IID& iid, DISPID id, WORD flags,
                            DualResult result, std::initializer_list<DualArg> args) {
  const bool has_result = result.vt != VT_EMPTY;
  if (has_result && !result.pointer) return Refuse(E_POINTER);
  if (has_result) ClearOut(result);
  VARIANT answer;
  VariantInit(&answer);
  try {
    // IDispatch takes the arguments last to first.
    std::vector<VARIANT> reversed;
    reversed.reserve(args.size());
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) {
      if (it->null_ref) {
        if (!it->optional) return Refuse(E_POINTER);
        reversed.push_back(Missing());
      } else if (it->optional && it->value.vt == (VT_BYREF | VT_VARIANT) &&
                 IsMissing(*it->value.pvarVal)) {
        // An omitted optional variant arrives as a variable holding the
        // missing marker; late-bound callers pass the marker itself.
        reversed.push_back(Missing());
      } else {
        reversed.push_back(it->value);
      }
    }
    DISPID put = DISPID_PROPERTYPUT;
    const bool is_put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS params{reversed.data(), is_put ? &put : nullptr, static_cast<UINT>(reversed.size()),
                      is_put ? 1u : 0u};
    EXCEPINFO excep{};
    UINT arg_err = 0;
    HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                has_result ? &answer : nullptr, &excep, &arg_err);
    if (hr == DISP_E_EXCEPTION) {
      if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
      // Invoke has set the thread's error info; the vtable caller sees the
      // status code itself.
      hr = excep.scode != S_OK ? excep.scode : E_FAIL;
      SysFreeString(excep.bstrSource);
      SysFreeString(excep.bstrDescription);
      SysFreeString(excep.bstrHelpFile);
      VariantClear(&answer);
      return hr;
    }
    if (FAILED(hr)) {
      VariantClear(&answer);
      return hr;
    }
    if (has_result) Store(answer, result);
    VariantClear(&answer);
    return S_OK;
  } catch (...) {
    VariantClear(&answer);
    if (has_result) {
      // Nothing half-stored stays behind: the caller's variable is empty.
      if (result.vt == VT_VARIANT) VariantClear(static_cast<VARIANT*>(result.pointer));
      ClearOut(result);
    }
    return ReportCurrentException(nullptr, iid);
  }
}

std::unique_ptr<DualFaceBase> MakeDualFace(const IID& iid, IDispatch* owner) {
  for (const DualInterfaceEntry& entry : DualInterfaces()) {
    if (entry.iid == iid) return entry.make(owner);
  }
  return nullptr;
}

}  // namespace keystrel::com
