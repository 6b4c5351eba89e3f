#include "com/module.h"

#include <atomic>
#include <iostream>
#include <map>
#include <mutex>

#include "com/client_object.h"
#include "frame/catalogue.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/host.h"
#include "host/zqbr_common.h"
#include "library/library.h"

namespace keystrel::com {
namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_locks{0};

struct TypeLibState {
  std::once_flag once;
  ITypeLib* lib = nullptr;
  std::map<std::wstring, ITypeInfo*> by_name;
};

TypeLibState& TypeLib() {
  static auto* state = new TypeLibState();  // lives until the process ends
  return *state;
}

void LoadTypeLibrary(TypeLibState& state) {
  if (FAILED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &state.lib))) {
    state.lib = nullptr;
    return;
  }
  const UINT count = state.lib->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    ITypeInfo* info = nullptr;
    BSTR name = nullptr;
    if (FAILED(state.lib->GetTypeInfo(i, &info))) continue;
    if (SUCCEEDED(state.lib->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr,
                                              nullptr)) && name) {
      state.by_name.emplace(std::wstring(name, SysStringLen(name)), info);
      SysFreeString(name);
    } else {
      info->Release();
    }
  }
}

// A message pump for the enumerations' yield: lets the caller's pending
// window messages run, as the runtime's DoEvents does.
void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// A box needs an interactive desktop; a service or a session without one
// would block forever on an invisible window, so those get the frame's
// default (the text on standard error, answered OK).
bool HasDesktop() {
  HDESK desk = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  if (!desk) return false;
  CloseDesktop(desk);
  wchar_t value[8];
  // Scripted runs without a desktop user (the Wine checks) say so.
  return GetEnvironmentVariableW(L"KEYSTREL_NO_MESSAGE_BOX", value, 8) == 0;
}

std::int32_t ShowBox(const UString& prompt, std::int32_t style, const UString& title) {
  return MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(prompt.c_str()),
                     reinterpret_cast<const wchar_t*>(title.c_str()),
                     static_cast<UINT>(style) | MB_SETFOREGROUND);
}

// Test seam: when KEYSTREL_HOST_HOOKS names a programmatic identifier, its
// object hears every yield (Yield()) and answers every message box
// (MessageBox(prompt, style, title) As Long), so a test harness can watch
// both without a desktop. Applications never set it. The variable is read on
// every use, so a harness that sets it in its own process before the first
// yield or box takes effect.
Object* HostHooks() {
  wchar_t progid[256];
  const DWORD n = GetEnvironmentVariableW(L"KEYSTREL_HOST_HOOKS", progid, 256);
  if (n == 0 || n >= 256) return nullptr;
  // One object per thread, made once per name. It is deliberately never
  // released: at thread end COM may already be gone from the thread.
  thread_local std::wstring made_for;
  thread_local Ref<Object>* hooks = nullptr;
  if (made_for != progid) {
    made_for = progid;
    hooks = nullptr;
    CLSID clsid;
    IDispatch* dispatch = nullptr;
    if (SUCCEEDED(CLSIDFromProgID(progid, &clsid)) &&
        SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                                   reinterpret_cast<void**>(&dispatch)))) {
      hooks = new Ref<Object>(MakeClientObject(dispatch));
      dispatch->Release();
    }
  }
  return hooks ? hooks->get() : nullptr;
}

void YieldToHost() {
  if (Object* hooks = HostHooks()) {
    try {
      CallByName(*hooks, u"Yield");
    } catch (const AutomationError&) {
      // A failing observer must not stop the pump.
    }
  }
  PumpMessages();
}

// The box as the thread was set up to show it: a real one with a desktop,
// else the text on standard error, answered OK (the frame's own default).
std::int32_t AskHost(bool desktop, const UString& prompt, std::int32_t style,
                     const UString& title) {
  if (Object* hooks = HostHooks()) {
    try {
      return ToLong(CallByName(*hooks, u"MessageBox",
                               {Variant::String(prompt), Variant::Long(style),
                                Variant::String(title)}));
    } catch (const AutomationError&) {
      // Falls through to the box the thread would show anyway.
    }
  }
  if (desktop) return ShowBox(prompt, style, title);
  std::cerr << UToUtf8(title) << ": " << UToUtf8(prompt) << '\n';
  return 1;
}

// The maker's library is outside this DLL: created through the system's
// class registration, called late-bound.
ObjectFactory SystemProgId(const wchar_t* progid) {
  return [progid]() -> Ref<Object> {
    CLSID clsid;
    IDispatch* dispatch = nullptr;
    if (FAILED(CLSIDFromProgID(progid, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                                reinterpret_cast<void**>(&dispatch)))) {
      RaiseError(rt::kCannotCreateObject);
    }
    Ref<Object> proxy = MakeClientObject(dispatch);
    dispatch->Release();
    return proxy;
  };
}

}  // namespace

HMODULE ModuleHandle() { return g_module; }

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 2];
  DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH * 2);
  return std::wstring(path, n);
}

void LockModule() { ++g_locks; }
void UnlockModule() { --g_locks; }
bool ModuleInUse() { return g_locks.load() != 0; }

void EnterLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    InitializeLibrary();
    RegisterProgId(zqbr_common::kAboutProgId, SystemProgId(L"ZqBedrock10.clsZqBedrock10A"));
    RegisterProgId(zqbr_common::kErrorHandlerProgId, SystemProgId(L"ZqBedrock10.clsZqbrErrorHandlerA"));
  });
  thread_local bool hooked = false;
  if (!hooked) {
    hooked = true;
    SetYieldHook(YieldToHost);
    SetMessageBoxHook([desktop = HasDesktop()](const UString& prompt, std::int32_t style,
                                               const UString& title) {
      return AskHost(desktop, prompt, style, title);
    });
  }
}

ITypeLib* TypeLibrary() {
  TypeLibState& state = TypeLib();
  std::call_once(state.once, [&] { LoadTypeLibrary(state); });
  return state.lib;
}

ITypeInfo* FindTypeInfo(const std::wstring& name) {
  if (!TypeLibrary()) return nullptr;
  auto& map = TypeLib().by_name;
  auto it = map.find(name);
  return it == map.end() ? nullptr : it->second;
}

GUID GuidOf(const std::wstring& name) {
  ITypeInfo* info = FindTypeInfo(name);
  TYPEATTR* attr = nullptr;
  if (!info || FAILED(info->GetTypeAttr(&attr))) return GUID_NULL;
  GUID guid = attr->guid;
  info->ReleaseTypeAttr(attr);
  return guid;
}

}  // namespace keystrel::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    keystrel::com::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
