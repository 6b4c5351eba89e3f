// Host services of the automation layer that the classes rely on: creation by
// programmatic identifier, the per-thread application object and module state
// (the predeclared instance of the global class lives here), the yield to
// pending messages and the message box.
//
// Per-thread state stands for the runtime's per-apartment state: every thread
// has its own, created on first use, released by ResetThreadState or when the
// thread ends.
#ifndef KEYSTREL_FRAME_HOST_H_
#define KEYSTREL_FRAME_HOST_H_

#include <cstdint>
#include <functional>
#include <string>

#include "frame/object.h"
#include "frame/variant.h"

namespace keystrel {

using ObjectFactory = std::function<Ref<Object>()>;

// Process-wide registrations, at start-up: the library's creatable classes
// register "Keystrel10.<class>" this way (the catalogue does it for every
// creatable or global class it holds).
void RegisterProgId(UString progid, ObjectFactory factory);

// Per-thread registrations that a host or a test adds (they take precedence
// over process-wide ones); cleared by ResetThreadState.
void RegisterThreadProgId(UString progid, ObjectFactory factory);

// Creates an object by programmatic identifier (case-insensitive): a
// per-thread registration first, then a process-wide one; otherwise raises 429
// "ActiveX component can't create object".
Ref<Object> CreateObjectByProgId(UStringView progid);

// Creates an instance of a creatable or global catalogue class by its name
// (429 for an unknown or non-creatable class).
Ref<Object> CreateObjectByClass(UStringView class_name);

// The predeclared instance of a global class on this thread, created on first
// use.
Ref<Object> GlobalInstance(UStringView class_name);

// The library's application object on this thread, created on first use: the
// runtime class "App" with read-only properties EXEName ("keystrel10"),
// Title ("Keystrel10"), Path, Major (1), Minor (0), Revision (0), ProductName,
// CompanyName, FileDescription, LegalCopyright, Comments.
Ref<Object> ApplicationObject();

// A per-thread module-level variable, created Empty on first use. Names are
// the owner's ("clsZqKeystrel10A.BuddyObjectGlobal").
Variant& ModuleSlot(const std::string& name);

// Yield to the host's pending messages (DoEvents). The default hook does
// nothing.
using YieldHook = std::function<void()>;
void SetYieldHook(YieldHook hook);  // per thread; empty restores the default
void DoEvents();

// Message box: returns the button pressed (1 = OK). The default hook writes
// "title: prompt" to standard error and answers OK.
using MessageBoxHook = std::function<std::int32_t(const UString& prompt, std::int32_t style,
                                                  const UString& title)>;
void SetMessageBoxHook(MessageBoxHook hook);  // per thread; empty restores the default
std::int32_t ShowMessageBox(const UString& prompt, std::int32_t style, const UString& title);

// Releases this thread's state: predeclared instances, the application
// object, module slots, per-thread registrations and hooks. Objects that
// clients still hold stay alive.
void ResetThreadState();

// Registers the runtime classes (Collection, App, enumerators) and the
// enumerations in the catalogue. Called by InitializeLibrary; idempotent.
void RegisterFrameClasses();

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_HOST_H_
