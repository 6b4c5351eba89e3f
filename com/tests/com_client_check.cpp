// A native COM client of keystrel10.dll, run under Wine after registration:
// what a script host cannot show by itself. Events through connection
// points (with by-reference event arguments changed by the sink), EXCEPINFO
// and IErrorInfo for a failed call, IEnumVARIANT for a collection, the
// missing marker for an omitted optional variant, the class info of an
// object, the creatable / not creatable split of the class factory, and
// early binding: the dual interfaces called through their vtables as widl
// declares them, as a VB6/VBA client compiled against the type library does;
// a client's own object handed back as itself, the type information of the
// runtime's own classes, and Decimal arrays crossing whole.
// Prints "N passed, N failed".
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>

#include "keystrel10_interfaces.h"

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


// A real BSTR (length-prefixed); leaked like Text's.
BSTR B(const wchar_t* s, UINT length = ~0u) {
  return length == ~0u ? SysAllocString(s) : SysAllocStringLen(s, length);
}

template <class Interface>
Interface* DualOf(IUnknown* object) {
  Interface* dual = nullptr;
  if (FAILED(object->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(&dual)))) {
    return nullptr;
  }
  return dual;
}

IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* unknown = nullptr;
  object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
  if (unknown) unknown->Release();  // only compared
  return unknown;
}

VARIANT MissingArg() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

void CheckEarlyBinding() {
  IDispatch* cd = Create(L"Keystrel10.clsZqRegyHandlerC");
  IDispatch* ad = Create(L"Keystrel10.clsZqRegyHandlerA");
  if (!cd || !ad) {
    Check(false, "create handlers C and A for early binding");
    return;
  }
  _clsZqRegyHandlerC* c = DualOf<_clsZqRegyHandlerC>(cd);
  _clsZqRegyHandlerA* a = DualOf<_clsZqRegyHandlerA>(ad);
  Check(c && a, "QueryInterface answers _clsZqRegyHandlerC and _clsZqRegyHandlerA");
  if (!c || !a) return;
  _clsZqRegyHandlerC* again = DualOf<_clsZqRegyHandlerC>(cd);
  Check(again == c && IdentityOf(c) == IdentityOf(cd) && DualOf<_clsZqRegyHandlerA>(cd) == nullptr,
        "the dual interface keeps the object's identity and is its class's only");
  if (again) again->Release();

  const hKey current_user = static_cast<hKey>(static_cast<LONG>(0x80000001));
  c->put_hKey(current_user);
  c->put_KeyRoot(B(L"Software\\KeystrelEarly"));
  c->put_Subkey(B(L"Sub"));
  BSTR root = nullptr;
  hKey read_root{};
  Check(c->get_KeyRoot(&root) == S_OK && Str(root) == L"Software\\KeystrelEarly" &&
            c->get_hKey(&read_root) == S_OK && read_root == current_user,
        "properties put and read back through the vtable");
  SysFreeString(root);

  // Omitted optionals: the missing marker in the caller's variable, or no
  // variable at all; either way the member uses Subkey.
  VARIANT missing = MissingArg();
  BSTR created = nullptr;
  VARIANT_BOOL exists = VARIANT_FALSE;
  HRESULT hr = c->CreateKey(&missing, &created);
  Check(hr == S_OK && Str(created) == L"0" && missing.vt == VT_ERROR &&
            c->KeyExists(&exists) == S_OK && exists == VARIANT_TRUE,
        "CreateKey with its optional argument omitted creates Subkey");
  SysFreeString(created);
  created = nullptr;
  Check(c->CreateKey(nullptr, &created) == S_OK && Str(created) == L"0",
        "a null pointer for an optional by-reference argument counts as omitted");
  SysFreeString(created);

  // By-reference arguments of declared types, written back in place.
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = B(L"early");
  DataType type = static_cast<DataType>(1);
  VARIANT_BOOL stored = VARIANT_FALSE;
  VARIANT got;
  VARIANT fallback = MissingArg();
  hr = c->SetRegistryValue(B(L"V"), &value, &type, &stored);
  Check(hr == S_OK && stored == VARIANT_TRUE &&
            c->GetRegistryValue(B(L"V"), &fallback, &got) == S_OK && got.vt == VT_BSTR &&
            Str(got.bstrVal) == L"early",
        "SetRegistryValue / GetRegistryValue through the vtable");
  VariantClear(&got);
  BSTR item = B(L"abc\0def", 7);
  BSTR trimmed = nullptr;
  hr = c->TrimNull(&item, &trimmed);
  Check(hr == S_OK && Str(item) == L"abc" && Str(trimmed) == L"abc",
        "TrimNull writes its by-reference BSTR back");
  SysFreeString(trimmed);
  Check(c->TrimNull(nullptr, &trimmed) == E_POINTER && trimmed == nullptr &&
            c->get_KeyRoot(nullptr) == E_POINTER,
        "a null pointer for a required argument or the result answers E_POINTER");

  // An array result arrives as the declared SAFEARRAY of BSTR.
  SAFEARRAY* parts = nullptr;
  VARTYPE element = VT_EMPTY;
  LONG lbound = -1, ubound = -1;
  BSTR second = nullptr;
  LONG at = 1;
  hr = a->GetMultiSZ(B(L"x\0yz", 4), &parts);
  if (parts) {
    SafeArrayGetVartype(parts, &element);
    SafeArrayGetLBound(parts, 1, &lbound);
    SafeArrayGetUBound(parts, 1, &ubound);
    SafeArrayGetElement(parts, &at, &second);
    SafeArrayDestroy(parts);
  }
  Check(hr == S_OK && element == VT_BSTR && lbound == 0 && ubound == 1 && Str(second) == L"yz",
        "GetMultiSZ returns a SAFEARRAY of BSTR through the vtable");
  SysFreeString(second);

  // Object results arrive as their class's dual interface.
  LONG handle = 0;
  hr = a->OpenKey(static_cast<StandardRegistryKeys>(current_user), B(L"Software\\KeystrelEarly"),
                  VARIANT_FALSE, nullptr, &handle);
  Check(hr == S_OK && handle != 0, "OpenKey through the vtable");
  _clsZqRegyHandlerAKeysA* keys = nullptr;
  hr = a->EnumKeys(static_cast<StandardRegistryKeys>(handle), VARIANT_FALSE, VARIANT_FALSE,
                   VARIANT_FALSE, &keys);
  LONG count = 0;
  Check(hr == S_OK && keys && keys->get_Count(&count) == S_OK && count == 1,
        "EnumKeys returns _clsZqRegyHandlerAKeysA, called through its own vtable");
  if (keys) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = 1;
    _clsZqRegyHandlerAKeyA* key = nullptr;
    BSTR name = nullptr;
    Check(keys->get_Item(&index, &key) == S_OK && key && key->get_KeyName(&name) == S_OK &&
              Str(name) == L"Sub",
          "a collection's Item is _clsZqRegyHandlerAKeyA");
    SysFreeString(name);
    if (key) key->Release();
    keys->Release();
  }
  keys = reinterpret_cast<_clsZqRegyHandlerAKeysA*>(1);
  Check(a->EnumKeys(static_cast<StandardRegistryKeys>(handle), VARIANT_TRUE, VARIANT_FALSE,
                    VARIANT_TRUE, &keys) == S_OK && keys == nullptr,
        "Nothing arrives as a null interface pointer");

  // A raised error: its HRESULT (0x800A0000 | number) and the thread's
  // error object, as Invoke reports it.
  SetErrorInfo(0, nullptr);
  keys = reinterpret_cast<_clsZqRegyHandlerAKeysA*>(1);
  hr = a->EnumKeys(static_cast<StandardRegistryKeys>(handle), VARIANT_FALSE, VARIANT_FALSE,
                   VARIANT_TRUE, &keys);
  Check(hr == static_cast<HRESULT>(0x800A0000 | 10029) && keys == nullptr,
        "an automation error returns 0x800A0000 | number and clears the result");
  IErrorInfo* info = nullptr;
  BSTR description = nullptr;
  GUID guid = GUID_NULL;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    info->GetDescription(&description);
    info->GetGUID(&guid);
    info->Release();
  }
  Check(Str(description) == L"Cannot suppress events and return nothing." &&
            guid == __uuidof(_clsZqRegyHandlerA),
        "the error object carries the description and names the dual interface");
  SysFreeString(description);
  ISupportErrorInfo* sei = nullptr;
  Check(SUCCEEDED(a->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei))) &&
            sei->InterfaceSupportsErrorInfo(__uuidof(_clsZqRegyHandlerA)) == S_OK,
        "ISupportErrorInfo covers the dual interface");
  if (sei) sei->Release();

  // An object reference set and read back keeps its identity.
  IDispatch* buddy = nullptr;
  Check(a->putref_BuddyObject(cd) == S_OK && a->get_BuddyObject(&buddy) == S_OK && buddy &&
            IdentityOf(buddy) == IdentityOf(cd),
        "putref_BuddyObject / get_BuddyObject through the vtable");
  if (buddy) buddy->Release();
  a->putref_BuddyObject(nullptr);

  a->CloseKey(Long(handle));
  LONG deleted = 0;
  BSTR sub = B(L"KeystrelEarly\\Sub");
  BSTR top = B(L"KeystrelEarly");
  c->put_KeyRoot(B(L"Software"));
  c->DeleteKey(&sub, &deleted);
  c->DeleteKey(&top, &deleted);
  a->Release();
  c->Release();
  ad->Release();
  cd->Release();
}

// The name and kind of the type info an object gives through
// IDispatch::GetTypeInfo; empty when it gives none.
std::wstring TypeInfoNameOf(IDispatch* d, TYPEKIND* kind, ITypeInfo** keep = nullptr) {
  UINT count = 0;
  ITypeInfo* info = nullptr;
  if (FAILED(d->GetTypeInfoCount(&count)) || count != 1 ||
      FAILED(d->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) || !info) {
    return {};
  }
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attr))) {
    *kind = attr->typekind;
    info->ReleaseTypeAttr(attr);
  }
  std::wstring out = Str(name);
  SysFreeString(name);
  if (keep) {
    *keep = info;
  } else {
    info->Release();
  }
  return out;
}

// A client's own object handed to the library comes back as itself, not as
// a wrapper of ours: scripts compare with `Is`, recorders count their calls.
void CheckClientObjectIdentity() {
  IDispatch* k = Create(L"Keystrel10.clsZqKeystrel10A");
  IDispatch* a = Create(L"Keystrel10.clsZqRegyHandlerA");
  IDispatch* u = Create(L"Keystrel10.clsZqRegyUtilitesA");
  Check(k && a && u, "create clsZqKeystrel10A, clsZqRegyHandlerA and clsZqRegyUtilitesA");
  if (!k || !a || !u) return;
  static Sink mine;  // outlives any reference the library might keep
  struct Slot {
    IDispatch* object;
    const wchar_t* property;
    WORD put;
  };
  const Slot kSlots[] = {{k, L"BuddyObjectGlobal", DISPATCH_PROPERTYPUTREF},
                         {a, L"BuddyObject", DISPATCH_PROPERTYPUTREF},
                         {u, L"Default", DISPATCH_PROPERTYPUT}};
  for (const Slot& slot : kSlots) {
    VARIANT object;
    VariantInit(&object);
    object.vt = VT_DISPATCH;
    object.pdispVal = &mine;
    VARIANT back;
    HRESULT hr = Call(slot.object, slot.property, {object}, nullptr, slot.put);
    HRESULT get = Call(slot.object, slot.property, {}, &back, DISPATCH_PROPERTYGET);
    const bool same = SUCCEEDED(hr) && SUCCEEDED(get) && back.vt == VT_DISPATCH &&
                      back.pdispVal == &mine && IdentityOf(back.pdispVal) == IdentityOf(&mine);
    Check(same, (std::string("a client object read back from ") +
                 std::string(slot.property, slot.property + wcslen(slot.property)) +
                 " is the client's own").c_str());
    VariantClear(&back);
  }

  // A reference assignment of a value that is not an object: 13 through
  // EXCEPINFO, the slot keeps what it held.
  EXCEPINFO ei{};
  VARIANT held;
  HRESULT hr = Call(k, L"BuddyObjectGlobal", {Long(5)}, nullptr, DISPATCH_PROPERTYPUTREF, &ei);
  Check(hr == DISP_E_EXCEPTION && ei.scode == static_cast<SCODE>(0x800A000D) &&
            Str(ei.bstrDescription) == L"Type mismatch" && !Str(ei.bstrSource).empty(),
        "Set BuddyObjectGlobal to a number raises 13 with source and description");
  Check(SUCCEEDED(Call(k, L"BuddyObjectGlobal", {}, &held, DISPATCH_PROPERTYGET)) &&
            held.vt == VT_DISPATCH && held.pdispVal == &mine,
        "a refused reference assignment leaves the slot as it was");
  VariantClear(&held);

  VARIANT nothing;
  VariantInit(&nothing);
  nothing.vt = VT_DISPATCH;
  nothing.pdispVal = nullptr;
  Call(k, L"BuddyObjectGlobal", {nothing}, nullptr, DISPATCH_PROPERTYPUTREF);
  Call(a, L"BuddyObject", {nothing}, nullptr, DISPATCH_PROPERTYPUTREF);
  Call(u, L"Default", {Long(0)}, nullptr, DISPATCH_PROPERTYPUT);
  u->Release();
  a->Release();
  k->Release();
}

// The runtime's own classes have no coclass, yet their objects name what
// they are and list their members through IDispatch::GetTypeInfo.
void CheckRuntimeClassTypeInfo() {
  IDispatch* k = Create(L"Keystrel10.clsZqKeystrel10A");
  if (!k) return;
  VARIANT app;
  Call(k, L"GetProStdProperties", {}, &app, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  Check(app.vt == VT_DISPATCH && app.pdispVal, "GetProStdProperties gives the App object");
  if (app.vt == VT_DISPATCH && app.pdispVal) {
    TYPEKIND kind = TKIND_MAX;
    ITypeInfo* info = nullptr;
    const std::wstring name = TypeInfoNameOf(app.pdispVal, &kind, &info);
    Check(name == L"_App" && kind == TKIND_DISPATCH, "App describes itself as dispinterface _App");
    MEMBERID id = DISPID_UNKNOWN;
    LPOLESTR title = const_cast<LPOLESTR>(L"Title");
    Check(info && SUCCEEDED(info->GetIDsOfNames(&title, 1, &id)) && id == IdOf(app.pdispVal, title),
          "_App lists the App object's members with their dispatch identifiers");
    if (info) info->Release();
    IDispatch* as_interface = nullptr;
    IUnknown* no_class = nullptr;
    Check(SUCCEEDED(app.pdispVal->QueryInterface(__uuidof(_App),
                                                 reinterpret_cast<void**>(&as_interface))) &&
              FAILED(app.pdispVal->QueryInterface(IID_IProvideClassInfo,
                                                  reinterpret_cast<void**>(&no_class))),
          "App answers its dispinterface and claims no coclass");
    if (as_interface) as_interface->Release();
    if (no_class) no_class->Release();
  }
  VariantClear(&app);
  k->Release();
}

// Decimal elements fill the whole VARIANT: a typed Decimal array stored and
// read back keeps every element, high bits, scale and sign included.
void CheckDecimalArrays() {
  IDispatch* u = Create(L"Keystrel10.clsZqRegyUtilitesA");
  if (!u) return;
  DECIMAL values[3] = {};
  values[0].Lo64 = 12345;
  values[0].scale = 2;  // 123.45
  values[1].Hi32 = 7;
  values[1].Lo64 = 0x0123456789ABCDEFull;
  values[1].sign = DECIMAL_NEG;
  values[2].Lo64 = 1;
  values[2].scale = 28;
  SAFEARRAY* sa = SafeArrayCreateVector(VT_DECIMAL, 1, 3);
  for (LONG i = 0; i < 3; ++i) {
    LONG at = i + 1;
    SafeArrayPutElement(sa, &at, &values[i]);
  }
  VARIANT in;
  VariantInit(&in);
  in.vt = VT_ARRAY | VT_DECIMAL;
  in.parray = sa;
  VARIANT back;
  HRESULT put = Call(u, L"Default", {in}, nullptr, DISPATCH_PROPERTYPUT);
  HRESULT get = Call(u, L"Default", {}, &back, DISPATCH_PROPERTYGET);
  bool same = SUCCEEDED(put) && SUCCEEDED(get) && back.vt == (VT_ARRAY | VT_DECIMAL);
  LONG lbound = 0, ubound = -1;
  if (same) {
    SafeArrayGetLBound(back.parray, 1, &lbound);
    SafeArrayGetUBound(back.parray, 1, &ubound);
    same = lbound == 1 && ubound == 3;
  }
  for (LONG i = 0; same && i < 3; ++i) {
    LONG at = i + 1;
    DECIMAL got = {};
    same = SUCCEEDED(SafeArrayGetElement(back.parray, &at, &got)) && got.Hi32 == values[i].Hi32 &&
           got.Lo64 == values[i].Lo64 && got.scale == values[i].scale &&
           got.sign == values[i].sign;
  }
  Check(same, "a Decimal array crosses both ways with every element whole");
  VariantClear(&back);
  VariantClear(&in);
  Call(u, L"Default", {Long(0)}, nullptr, DISPATCH_PROPERTYPUT);
  u->Release();
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  CheckErrorEvent();
  CheckKeyEvents();
  CheckErrors();
  CheckEarlyBinding();
  CheckClientObjectIdentity();
  CheckRuntimeClassTypeInfo();
  CheckDecimalArrays();
  CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
