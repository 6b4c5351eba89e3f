// The DLL's module state: its own handle and path, the count of live objects
// and server locks behind DllCanUnloadNow, the per-thread set-up that every
// entry into the library performs, and the embedded type library.
//
// Thread safety: counts are atomic; the type library is loaded once under a
// lock and its type infos are free-threaded in the automation runtime.
#ifndef KEYSTREL_COM_MODULE_H_
#define KEYSTREL_COM_MODULE_H_

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace keystrel::com {

HMODULE ModuleHandle();
std::wstring ModulePath();

void LockModule();
void UnlockModule();
bool ModuleInUse();

// Registers the library's classes, the maker's programmatic identifiers and
// this thread's message pump and message box. Cheap after the first call on
// a thread.
void EnterLibrary();

// The type library embedded as resource 1 of this DLL; nullptr when it
// cannot be loaded. The pointer is owned by the module.
ITypeLib* TypeLibrary();
// The type info of a library member by name (class, interface, dispinterface,
// enumeration); nullptr when absent. Not AddRef'ed: owned by the module.
ITypeInfo* FindTypeInfo(const std::wstring& name);
// The GUID of a library member by name; GUID_NULL when absent.
GUID GuidOf(const std::wstring& name);

}  // namespace keystrel::com

#endif  // KEYSTREL_COM_MODULE_H_
