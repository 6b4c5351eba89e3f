#include "frame/host.h"

#include <iostream>
#include <map>
#include <mutex>

#include "frame/catalogue.h"
#include "frame/collection.h"
#include "frame/error.h"
#include "frame/internal/frame_classes.h"

namespace keystrel {

namespace {

using ProgIdMap = std::map<UString, ObjectFactory, TextLess>;

struct ProcessRegistry {
  std::mutex mu;
  ProgIdMap progids;
};

ProcessRegistry& Process() {
  // Never destroyed: factories may be looked up while statics are ending.
  static ProcessRegistry& registry = *new ProcessRegistry();
  return registry;
}

// Everything a thread (apartment) owns. Objects held here may, while ending,
// reach the thread state again (a global instance asking for the application
// object, say), so releasing moves the contents out first and repeats until
// nothing new appeared.
struct ThreadState {
  ProgIdMap progids;
  std::map<UString, Ref<Object>, TextLess> globals;
  Ref<Object> app;
  std::map<std::string, Variant> slots;
  YieldHook yield;
  MessageBoxHook message_box;

  bool empty() const {
    return progids.empty() && globals.empty() && !app && slots.empty() && !yield &&
           !message_box;
  }
};

void Drain(ThreadState& state) {
  // A few rounds settle any realistic chain of ending objects; a cycle that
  // keeps re-creating state must not hang the thread.
  for (int round = 0; round < 16 && !state.empty(); ++round) {
    ThreadState released = std::move(state);
    state = ThreadState();
    // `released` ends here, with `state` valid for anything its objects do.
  }
}

class ThreadStateHolder {
 public:
  ThreadStateHolder() = default;
  ThreadStateHolder(const ThreadStateHolder&) = delete;
  ThreadStateHolder& operator=(const ThreadStateHolder&) = delete;
  ~ThreadStateHolder() {
    if (!state_) return;
    Drain(*state_);
    delete std::exchange(state_, nullptr);
  }

  ThreadState& get() {
    if (!state_) state_ = new ThreadState();
    return *state_;
  }

 private:
  ThreadState* state_ = nullptr;
};

thread_local ThreadStateHolder t_state;

ThreadState& State() { return t_state.get(); }

std::int32_t DefaultMessageBox(const UString& prompt, std::int32_t, const UString& title) {
  std::cerr << UToUtf8(title) << ": " << UToUtf8(prompt) << '\n';
  return 1;  // OK
}

}  // namespace

void RegisterProgId(UString progid, ObjectFactory factory) {
  ProcessRegistry& reg = Process();
  std::lock_guard lock(reg.mu);
  reg.progids.insert_or_assign(std::move(progid), std::move(factory));
}

void RegisterThreadProgId(UString progid, ObjectFactory factory) {
  State().progids.insert_or_assign(std::move(progid), std::move(factory));
}

Ref<Object> CreateObjectByProgId(UStringView progid) {
  ObjectFactory factory;
  ThreadState& state = State();
  if (auto it = state.progids.find(progid); it != state.progids.end()) {
    factory = it->second;
  } else {
    ProcessRegistry& reg = Process();
    std::lock_guard lock(reg.mu);
    if (auto pit = reg.progids.find(progid); pit != reg.progids.end()) factory = pit->second;
  }
  // The factory runs outside any lock: it may create further objects.
  Ref<Object> obj = factory ? factory() : nullptr;
  if (!obj) RaiseError(rt::kCannotCreateObject);
  return obj;
}

Ref<Object> CreateObjectByClass(UStringView class_name) {
  const ClassInfo* cls = Catalogue::Instance().FindClass(class_name);
  const bool creatable = cls && (cls->instancing == Instancing::kCreatable ||
                                 cls->instancing == Instancing::kGlobal);
  Ref<Object> obj = creatable && cls->factory ? cls->factory() : nullptr;
  if (!obj) RaiseError(rt::kCannotCreateObject);
  return obj;
}

Ref<Object> GlobalInstance(UStringView class_name) {
  {
    ThreadState& state = State();
    if (auto it = state.globals.find(class_name); it != state.globals.end()) return it->second;
  }
  const ClassInfo* cls = Catalogue::Instance().FindClass(class_name);
  if (!cls || cls->instancing != Instancing::kGlobal || !cls->factory) {
    RaiseError(rt::kCannotCreateObject);
  }
  Ref<Object> obj = cls->factory();
  if (!obj) RaiseError(rt::kCannotCreateObject);
  // Creation may have run client code that asked for the instance already;
  // the first one made stays the thread's instance.
  auto [it, inserted] = State().globals.emplace(cls->name, std::move(obj));
  return it->second;
}

Ref<Object> ApplicationObject() {
  ThreadState& state = State();
  if (!state.app) {
    Ref<Object> app = detail::MakeApplicationObject();
    ThreadState& again = State();
    if (!again.app) again.app = std::move(app);
    return again.app;
  }
  return state.app;
}

Variant& ModuleSlot(const std::string& name) { return State().slots[name]; }

void SetYieldHook(YieldHook hook) { State().yield = std::move(hook); }

void DoEvents() {
  // A copy, so a hook that replaces itself keeps running to its end.
  YieldHook hook = State().yield;
  if (hook) hook();
}

void SetMessageBoxHook(MessageBoxHook hook) { State().message_box = std::move(hook); }

std::int32_t ShowMessageBox(const UString& prompt, std::int32_t style, const UString& title) {
  MessageBoxHook hook = State().message_box;
  return hook ? hook(prompt, style, title) : DefaultMessageBox(prompt, style, title);
}

void ResetThreadState() { Drain(State()); }

void RegisterFrameClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterCollectionClass();
    detail::RegisterEnumeratorClass();
    detail::RegisterAppClass();
    detail::RegisterFrameEnums();
  });
}

namespace detail {

const ClassInfo* RuntimeClass(UStringView name) {
  RegisterFrameClasses();
  return Catalogue::Instance().FindClass(name);
}

}  // namespace detail

}  // namespace keystrel
