// The four entry points of an in-process automation server: class objects
// for the creatable classes, the unload check, and registration of exactly
// what this DLL owns (its type library, and per creatable class the CLSID
// key and the programmatic identifier key).
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "com/com_object.h"
#include "com/module.h"
#include "frame/catalogue.h"
#include "frame/error.h"

namespace keystrel::com {
namespace {

std::wstring WideOf(const UString& s) { return std::wstring(s.begin(), s.end()); }

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

bool Creatable(const ClassInfo& cls) {
  return cls.instancing == Instancing::kCreatable || cls.instancing == Instancing::kGlobal;
}

const ClassInfo* ClassOfClsid(REFCLSID clsid) {
  for (const ClassInfo* cls : Catalogue::Instance().Classes()) {
    if (Creatable(*cls) && GuidOf(WideOf(cls->name)) == clsid) return cls;
  }
  return nullptr;
}

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassInfo* cls) : cls_(cls) { LockModule(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      EnterLibrary();
      Ref<Object> object = cls_->factory();
      IDispatch* dispatch = Wrap(object.get());
      if (!dispatch) return E_UNEXPECTED;
      HRESULT hr = dispatch->QueryInterface(riid, out);
      dispatch->Release();
      return hr;
    } catch (...) {
      return ReportCurrentException(nullptr, IID_IClassFactory);
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }

 private:
  ~ClassFactory() { UnlockModule(); }

  LONG refs_ = 1;
  const ClassInfo* cls_;
};

LONG SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc;
}

LONG RegisterClass(const ClassInfo& cls, const std::wstring& libid) {
  const std::wstring name = WideOf(cls.name);
  const std::wstring progid = WideOf(cls.progid());
  const std::wstring clsid = GuidText(GuidOf(name));
  const std::wstring key = L"CLSID\\" + clsid;
  LONG rc = SetText(HKEY_CLASSES_ROOT, key, nullptr, progid);
  if (rc == ERROR_SUCCESS) rc = SetText(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, ModulePath());
  if (rc == ERROR_SUCCESS) {
    rc = SetText(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  }
  if (rc == ERROR_SUCCESS) rc = SetText(HKEY_CLASSES_ROOT, key + L"\\ProgID", nullptr, progid);
  if (rc == ERROR_SUCCESS) rc = SetText(HKEY_CLASSES_ROOT, key + L"\\TypeLib", nullptr, libid);
  if (rc == ERROR_SUCCESS) rc = SetText(HKEY_CLASSES_ROOT, key + L"\\Version", nullptr, L"1.0");
  if (rc == ERROR_SUCCESS) rc = SetText(HKEY_CLASSES_ROOT, progid, nullptr, progid);
  if (rc == ERROR_SUCCESS) rc = SetText(HKEY_CLASSES_ROOT, progid + L"\\CLSID", nullptr, clsid);
  return rc;
}

// Removes the class's two keys with everything below them: both are ours
// alone. A key already gone is not a failure.
void UnregisterClass(const ClassInfo& cls) {
  const std::wstring clsid = GuidText(GuidOf(WideOf(cls.name)));
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str());
  const std::wstring progid = WideOf(cls.progid());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, progid.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, progid.c_str());
}

}  // namespace
}  // namespace keystrel::com

using keystrel::Catalogue;
using keystrel::ClassInfo;
namespace com = keystrel::com;

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    com::EnterLibrary();
    if (!com::TypeLibrary()) return E_UNEXPECTED;
    const ClassInfo* cls = com::ClassOfClsid(clsid);
    if (!cls) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new com::ClassFactory(cls);
    HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return com::ModuleInUse() ? S_FALSE : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    com::EnterLibrary();
    ITypeLib* lib = com::TypeLibrary();
    if (!lib) return TYPE_E_CANTLOADLIBRARY;
    std::wstring path = com::ModulePath();
    HRESULT hr = RegisterTypeLib(lib, path.data(), nullptr);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    if (FAILED(lib->GetLibAttr(&attr))) return E_UNEXPECTED;
    const std::wstring libid = com::GuidText(attr->guid);
    lib->ReleaseTLibAttr(attr);
    for (const ClassInfo* cls : Catalogue::Instance().Classes()) {
      if (!com::Creatable(*cls)) continue;
      if (com::RegisterClass(*cls, libid) != ERROR_SUCCESS) {
        // Leave nothing half-written behind.
        for (const ClassInfo* done : Catalogue::Instance().Classes()) {
          if (com::Creatable(*done)) com::UnregisterClass(*done);
        }
        return SELFREG_E_CLASS;
      }
    }
    return S_OK;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    com::EnterLibrary();
    ITypeLib* lib = com::TypeLibrary();
    if (!lib) return TYPE_E_CANTLOADLIBRARY;
    for (const ClassInfo* cls : Catalogue::Instance().Classes()) {
      if (com::Creatable(*cls)) com::UnregisterClass(*cls);
    }
    TLIBATTR* attr = nullptr;
    if (FAILED(lib->GetLibAttr(&attr))) return E_UNEXPECTED;
    // Already unregistered is success: the state asked for is reached.
    HKEY key = nullptr;
    const std::wstring path = L"TypeLib\\" + com::GuidText(attr->guid);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      lib->ReleaseTLibAttr(attr);
      return S_OK;
    }
    RegCloseKey(key);
    HRESULT hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                   attr->syskind);
    lib->ReleaseTLibAttr(attr);
    return hr;
  } catch (...) {
    return E_UNEXPECTED;
  }
}
