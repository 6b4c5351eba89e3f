#include "com/harness/dispatch_object.h"

#include <vector>

namespace keystrel::harness {

std::atomic<long>& LiveCount() {
  static std::atomic<long> count{0};
  return count;
}

DispatchObject::DispatchObject() { ++LiveCount(); }
DispatchObject::~DispatchObject() { --LiveCount(); }

HRESULT DispatchObject::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid != IID_IUnknown && riid != IID_IDispatch && !AlsoAnswers(riid)) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

ULONG DispatchObject::AddRef() { return ++refs_; }

ULONG DispatchObject::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
  if (out) *out = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    // Only the member name is looked up; named arguments are not taken.
    ids[i] = i == 0 && names[i] ? IdOfName(names[i]) : DISPID_UNKNOWN;
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excep, UINT*) {
  std::vector<VARIANT*> args;
  if (params) {
    for (UINT i = params->cArgs; i > 0; --i) args.push_back(&params->rgvarg[i - 1]);
  }
  if (result) VariantInit(result);
  // Keeps the object alive through calls that drop the caller's reference.
  AddRef();
  HRESULT hr;
  try {
    hr = Call(id, flags, args, result);
  } catch (const PassedOnError& e) {
    if (excep) {
      *excep = EXCEPINFO{};
      excep->bstrSource = SysAllocString(e.source.c_str());
      excep->bstrDescription = SysAllocStringLen(e.description.data(),
                                                 static_cast<UINT>(e.description.size()));
      excep->scode = e.scode;
    }
    hr = DISP_E_EXCEPTION;
  } catch (const HarnessFault& f) {
    if (excep) {
      *excep = EXCEPINFO{};
      excep->bstrSource = SysAllocString(L"Keystrel10Test");
      excep->bstrDescription = SysAllocString(f.description.c_str());
      excep->scode = E_FAIL;
    }
    hr = DISP_E_EXCEPTION;
  } catch (...) {
    if (excep) {
      *excep = EXCEPINFO{};
      excep->bstrSource = SysAllocString(L"Keystrel10Test");
      excep->bstrDescription = SysAllocString(L"the harness failed unexpectedly");
      excep->scode = E_UNEXPECTED;
    }
    hr = DISP_E_EXCEPTION;
  }
  Release();
  return hr;
}

}  // namespace keystrel::harness
