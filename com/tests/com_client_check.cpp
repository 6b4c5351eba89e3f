// A native COM client of keystrel10.dll, run under Wine after registration:
// what a script host cannot show by itself. Events through connection
// points (with by-reference event arguments changed by the sink), EXCEPINFO
// and IErrorInfo for a failed call, IEnumVARIANT for a collection, the
// missing marker for an omitted optional variant, the class info of an
// object, and the creatable / not creatable split of the class factory.
// Prints "N passed, N failed".
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const char* what) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAIL %s\n", what);
  }
}

std::wstring Str(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

IDispatch* Create(const wchar_t* progid, HRESULT* out_hr = nullptr) {
  CLSID clsid;
  IDispatch* d = nullptr;
  HRESULT hr = CLSIDFromProgID(progid, &clsid);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&d));
  }
  if (out_hr) *out_hr = hr;
  return SUCCEEDED(hr) ? d : nullptr;
}

DISPID IdOf(IDispatch* d, const wchar_t* name) {
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// Calls `name` with `args` in call order; returns the HRESULT, the result in
// `result` and the exception in `excep`.
HRESULT Call(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET, EXCEPINFO* excep = nullptr) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  EXCEPINFO local{};
  if (result) VariantInit(result);
  HRESULT hr = d->Invoke(IdOf(d, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                         excep ? excep : &local, nullptr);
  if (!excep) {
    SysFreeString(local.bstrSource);
    SysFreeString(local.bstrDescription);
    SysFreeString(local.bstrHelpFile);
  }
  return hr;
}

VARIANT Long(LONG v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}
VARIANT Bool(bool v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BOOL;
  x.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
  return x;
}
VARIANT Text(const wchar_t* s) {  // leaks the BSTR: a short-lived check program
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  x.bstrVal = SysAllocString(s);
  return x;
}

// An event sink that records every event and rewrites the by-reference
// Description of ErrorOccurred.
class Sink final : public IDispatch {
 public:
  int calls = 0;
  DISPID last = 0;
  LONG number = 0;
  std::wstring first_text;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events_iid) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    ++calls;
    last = id;
    if (p->cArgs == 0) return S_OK;
    const VARIANT& first = p->rgvarg[p->cArgs - 1];
    const VARIANT& v = (first.vt & VT_BYREF) && (first.vt & ~VT_BYREF) == VT_VARIANT
                           ? *first.pvarVal : first;
    if (v.vt == VT_BSTR) first_text = Str(v.bstrVal);
    if (v.vt == VT_I4) number = v.lVal;
    if (v.vt == (VT_BYREF | VT_I4)) number = *v.plVal;
    // ErrorOccurred(Number, Source, Description): Description is rgvarg[0].
    VARIANT& desc = p->rgvarg[0];
    if (p->cArgs == 3 && (desc.vt & VT_BYREF)) {
      VARIANT* target = (desc.vt & ~VT_BYREF) == VT_VARIANT ? desc.pvarVal : nullptr;
      if (target) {
        VariantClear(target);
        target->vt = VT_BSTR;
        target->bstrVal = SysAllocString(L"changed by the sink");
      } else if ((desc.vt & ~VT_BYREF) == VT_BSTR) {
        SysFreeString(*desc.pbstrVal);
        *desc.pbstrVal = SysAllocString(L"changed by the sink");
      }
    }
    return S_OK;
  }
  IID events_iid = IID_NULL;

 private:
  ULONG refs_ = 1;
};

// The default source interface of an object's class, from its class info.
IID SourceInterfaceOf(IDispatch* d) {
  IID iid = IID_NULL;
  IProvideClassInfo* pci = nullptr;
  ITypeInfo* cls = nullptr;
  if (FAILED(d->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&pci)))) return iid;
  if (SUCCEEDED(pci->GetClassInfo(&cls))) {
    TYPEATTR* attr = nullptr;
    cls->GetTypeAttr(&attr);
    for (UINT i = 0; attr && i < attr->cImplTypes; ++i) {
      INT flags = 0;
      cls->GetImplTypeFlags(i, &flags);
      if ((flags & IMPLTYPEFLAG_FSOURCE) && (flags & IMPLTYPEFLAG_FDEFAULT)) {
        HREFTYPE ref;
        ITypeInfo* src = nullptr;
        cls->GetRefTypeOfImplType(i, &ref);
        if (SUCCEEDED(cls->GetRefTypeInfo(ref, &src))) {
          TYPEATTR* sattr = nullptr;
          src->GetTypeAttr(&sattr);
          iid = sattr->guid;
          src->ReleaseTypeAttr(sattr);
          src->Release();
        }
      }
    }
    if (attr) cls->ReleaseTypeAttr(attr);
    cls->Release();
  }
  pci->Release();
  return iid;
}

IConnectionPoint* PointOf(IDispatch* d, const IID& iid) {
  IConnectionPointContainer* cpc = nullptr;
  IConnectionPoint* cp = nullptr;
  if (FAILED(d->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)))) {
    return nullptr;
  }
  cpc->FindConnectionPoint(iid, &cp);
  cpc->Release();
  return cp;
}

void CheckErrorEvent() {
  IDispatch* d = Create(L"Keystrel10.clsZqRegyHandlerD");
  Check(d != nullptr, "create clsZqRegyHandlerD");
  if (!d) return;
  Sink sink;
  sink.events_iid = SourceInterfaceOf(d);
  Check(sink.events_iid != IID_NULL, "class info names the default source interface");
  IConnectionPoint* cp = PointOf(d, sink.events_iid);
  Check(cp != nullptr, "FindConnectionPoint for __clsZqRegyHandlerD");
  if (!cp) return;
  DWORD cookie = 0;
  Check(SUCCEEDED(cp->Advise(&sink, &cookie)) && cookie != 0, "Advise");
  VARIANT result;
  HRESULT hr = Call(d, L"Delete_Key", {Long(static_cast<LONG>(0x80000001)),
                                       Text(L"Software\\KeystrelNoSuchKey\\Nothing")}, &result);
  Check(SUCCEEDED(hr), "Delete_Key never fails towards its caller");
  Check(sink.calls == 1 && sink.last == 1, "ErrorOccurred raised once through the connection point");
  VARIANT desc;
  Call(d, L"ErrorDescription", {}, &desc);
  Check(SUCCEEDED(cp->Unadvise(cookie)), "Unadvise");
  Check(cp->Unadvise(cookie) == CONNECT_E_NOCONNECTION, "second Unadvise refused");
  sink.calls = 0;
  Call(d, L"Delete_Key", {Long(static_cast<LONG>(0x80000001)),
                          Text(L"Software\\KeystrelNoSuchKey\\Nothing")}, &result);
  Check(sink.calls == 0, "no events after Unadvise");
  cp->Release();
  d->Release();
}

void CheckKeyEvents() {
  IDispatch* c = Create(L"Keystrel10.clsZqRegyHandlerC");
  IDispatch* a = Create(L"Keystrel10.clsZqRegyHandlerA");
  Check(c && a, "create handlers C and A");
  if (!c || !a) return;
  VARIANT r;
  Call(c, L"hKey", {Long(static_cast<LONG>(0x80000001))}, nullptr, DISPATCH_PROPERTYPUT);
  Call(c, L"KeyRoot", {Text(L"Software\\KeystrelComNative")}, nullptr, DISPATCH_PROPERTYPUT);
  for (const wchar_t* sub : {L"One", L"Two"}) {
    Call(c, L"Subkey", {Text(sub)}, nullptr, DISPATCH_PROPERTYPUT);
    Call(c, L"CreateKey", {}, &r);
  }
  Call(c, L"SetRegistryValue", {Text(L"V"), Text(L"x"), Long(1)}, &r);

  Sink sink;
  sink.events_iid = SourceInterfaceOf(a);
  IConnectionPoint* cp = PointOf(a, sink.events_iid);
  Check(cp != nullptr, "FindConnectionPoint for __clsZqRegyHandlerA");
  DWORD cookie = 0;
  if (cp) cp->Advise(&sink, &cookie);
  VARIANT key;
  Call(a, L"OpenKey", {Long(static_cast<LONG>(0x80000001)), Text(L"Software\\KeystrelComNative")},
       &key);
  Check(key.vt == VT_I4 && key.lVal != 0, "OpenKey gives a handle");
  VARIANT keys;
  HRESULT hr = Call(a, L"EnumKeys", {key, Bool(true), Bool(true), Bool(false)}, &keys);
  Check(SUCCEEDED(hr) && keys.vt == VT_DISPATCH, "EnumKeys returns the collection");
  Check(sink.calls == 2 && sink.last == 1, "KeyEnumerated raised per key");
  Check(sink.first_text == L"Two", "the last event names the last key");

  // For Each: _NewEnum then IEnumVARIANT.
  if (keys.vt == VT_DISPATCH) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT e;
    VariantInit(&e);
    hr = keys.pdispVal->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT,
                               DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &e, nullptr, nullptr);
    IEnumVARIANT* ev = nullptr;
    if (SUCCEEDED(hr) && (e.vt == VT_UNKNOWN || e.vt == VT_DISPATCH)) {
      e.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&ev));
    }
    Check(ev != nullptr, "_NewEnum gives an IEnumVARIANT");
    if (ev) {
      VARIANT items[4];
      ULONG fetched = 0;
      hr = ev->Next(4, items, &fetched);
      Check(hr == S_FALSE && fetched == 2, "Next hands out both keys and reports the end");
      for (ULONG i = 0; i < fetched; ++i) VariantClear(&items[i]);
      Check(ev->Reset() == S_OK && ev->Next(1, items, &fetched) == S_OK && fetched == 1,
            "Reset starts over");
      VariantClear(&items[0]);
      ev->Release();
    }
    VariantClear(&e);
    VariantClear(&keys);
  }

  // An omitted optional variant reaches the member as the missing marker,
  // and a by-reference variable of the caller is written back.
  VARIANT deflt;
  VariantInit(&deflt);
  deflt.vt = VT_BSTR;
  deflt.bstrVal = SysAllocString(L"fallback");
  VARIANT by_ref;
  by_ref.vt = VT_BYREF | VT_VARIANT;
  by_ref.pvarVal = &deflt;
  hr = Call(c, L"GetRegistryValue", {Text(L"NoSuchValue"), by_ref}, &r);
  Check(SUCCEEDED(hr) && r.vt == VT_BSTR && Str(r.bstrVal) == L"fallback",
        "GetRegistryValue gives the default for a missing value");

  if (cp) {
    cp->Unadvise(cookie);
    cp->Release();
  }
  Call(a, L"CloseKey", {key}, nullptr, DISPATCH_METHOD);
  Call(c, L"KeyRoot", {Text(L"Software")}, nullptr, DISPATCH_PROPERTYPUT);
  Call(c, L"DeleteKey", {Text(L"KeystrelComNative\\One")}, &r);
  Call(c, L"DeleteKey", {Text(L"KeystrelComNative\\Two")}, &r);
  Call(c, L"DeleteKey", {Text(L"KeystrelComNative")}, &r);
  a->Release();
  c->Release();
}

void CheckErrors() {
  IDispatch* c = Create(L"Keystrel10.clsZqRegyHandlerC");
  if (!c) return;
  EXCEPINFO ei{};
  VARIANT r;
  HRESULT hr = Call(c, L"hKey", {Text(L"not a number")}, nullptr, DISPATCH_PROPERTYPUT, &ei);
  Check(hr == DISP_E_EXCEPTION, "a failed call answers DISP_E_EXCEPTION");
  Check(ei.scode == static_cast<SCODE>(0x800A000D), "EXCEPINFO carries run-time error 13");
  Check(Str(ei.bstrDescription) == L"Type mismatch", "EXCEPINFO description");
  Check(!Str(ei.bstrSource).empty(), "EXCEPINFO source");
  IErrorInfo* info = nullptr;
  Check(GetErrorInfo(0, &info) == S_OK && info != nullptr, "IErrorInfo set for the thread");
  if (info) {
    BSTR d = nullptr;
    info->GetDescription(&d);
    Check(Str(d) == L"Type mismatch", "IErrorInfo description");
    SysFreeString(d);
    info->Release();
  }
  hr = Call(c, L"GetRegistryValue", {}, &r);
  Check(hr == DISP_E_EXCEPTION, "too few arguments raise an automation error");
  ISupportErrorInfo* sei = nullptr;
  Check(SUCCEEDED(c->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei))) &&
            sei->InterfaceSupportsErrorInfo(IID_IDispatch) == S_OK,
        "ISupportErrorInfo");
  if (sei) sei->Release();
  c->Release();

  HRESULT create_hr = S_OK;
  IDispatch* key = Create(L"Keystrel10.clsZqRegyHandlerAKeyA", &create_hr);
  Check(key == nullptr, "a class that is not creatable has no programmatic identifier");
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  CheckErrorEvent();
  CheckKeyEvents();
  CheckErrors();
  CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
