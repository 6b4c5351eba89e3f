// The DLL's exports: class objects for "Keystrel10Test.Harness" and
// "Keystrel10Test.HostHooks", and their registration (HKCR programmatic
// identifier and CLSID keys, in-process, apartment-threaded).
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <string>

#include "com/harness/dispatch_object.h"
#include "com/harness/harness_objects.h"

namespace keystrel::harness {
namespace {

HMODULE g_module = nullptr;

// Fixed identifiers: a rebuilt harness keeps the registration of the last.
constexpr CLSID kHarnessClsid = {
    0x70fffb0c, 0x4261, 0x42c0, {0x94, 0x0c, 0x6e, 0xab, 0xd5, 0xba, 0x79, 0xc9}};
constexpr CLSID kHostHooksClsid = {
    0xa1d24c03, 0x6874, 0x40a2, {0xb1, 0xa6, 0xd4, 0x16, 0x82, 0x8e, 0xcf, 0x6e}};

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* progid;
  IDispatch* (*make)();
};
const ClassEntry kClasses[] = {
    {&kHarnessClsid, L"Keystrel10Test.Harness", NewHarness},
    {&kHostHooksClsid, L"Keystrel10Test.HostHooks", NewHostHooks},
};

std::wstring ClsidText(const CLSID& clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  return text;
}

LONG SetText(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr);
  if (rc != 0) return rc;
  rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc;
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH * 2);
  return std::wstring(path, n);
}

void Unregister() {
  for (const ClassEntry& c : kClasses) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClsidText(*c.clsid)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, c.progid);
  }
}

}  // namespace
}  // namespace keystrel::harness

using namespace keystrel::harness;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const ClassEntry& c : kClasses) {
    if (clsid != *c.clsid) continue;
    IClassFactory* factory = NewClassFactory(c.make);
    HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return LiveCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring path = ModulePath();
  for (const ClassEntry& c : kClasses) {
    const std::wstring key = L"CLSID\\" + ClsidText(*c.clsid);
    if (SetText(key, nullptr, c.progid) != 0 ||
        SetText(key + L"\\InprocServer32", nullptr, path) != 0 ||
        SetText(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") != 0 ||
        SetText(key + L"\\ProgID", nullptr, c.progid) != 0 ||
        SetText(c.progid, nullptr, c.progid) != 0 ||
        SetText(std::wstring(c.progid) + L"\\CLSID", nullptr, ClsidText(*c.clsid)) != 0) {
      Unregister();  // nothing half-written stays behind
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  Unregister();
  return S_OK;
}
