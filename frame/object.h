// Reference-counted automation objects and the smart reference that holds
// them.
//
// Every object a client can hold (the library's classes, collections,
// enumerators, client-side callback objects) derives from Object. The count is
// intrusive so the COM front can hand the same count to its clients. An object
// ends (is deleted) when its last reference goes.
//
// Late-bound calls reach an object through IdOfName and Invoke. The default
// implementations answer from the object's class in the catalogue; client
// objects with a dynamic surface (callback objects, event sinks) override both.
//
// Thread safety: AddRef/Release are atomic; everything else runs on the
// caller's thread, as the automation layer does.
#ifndef KEYSTREL_FRAME_OBJECT_H_
#define KEYSTREL_FRAME_OBJECT_H_

#include <atomic>
#include <cstdint>
#include <span>
#include <utility>

#include "frame/ustring.h"

namespace keystrel {

class Variant;
struct Arg;
struct ClassInfo;
class EventSource;

// Invoke flags, as IDispatch has them; a script client's plain call passes
// kMethod | kPropertyGet.
enum CallKind : std::uint16_t {
  kMethod = 1,
  kPropertyGet = 2,
  kPropertyLet = 4,
  kPropertySet = 8,
};

inline constexpr std::int32_t kDispidValue = 0;
inline constexpr std::int32_t kDispidNewEnum = -4;
inline constexpr std::int32_t kDispidUnknown = -1;

class Object {
 public:
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  void AddRef() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  std::uint32_t ref_count() const noexcept { return refs_.load(std::memory_order_relaxed); }

  // The object's class in the catalogue, or nullptr for client objects.
  virtual const ClassInfo* class_info() const noexcept { return nullptr; }

  // Dispatch identifier of a member name (case-insensitive), kDispidUnknown
  // when there is none.
  virtual std::int32_t IdOfName(UStringView name);

  // Calls a member. `args` are in call order (not IDispatch's reverse order);
  // for a property let/set the assigned value is the last argument. Throws
  // AutomationError (438 for an unknown identifier, 450 for a wrong count,
  // coercion failures 13/6/94, and whatever the member raises).
  virtual Variant Invoke(std::int32_t dispid, std::uint16_t kind, std::span<Arg> args);

  // The event source of an object whose class declares an event interface.
  virtual EventSource* event_source() noexcept { return nullptr; }

 protected:
  Object() = default;
  virtual ~Object() = default;

 private:
  mutable std::atomic<std::uint32_t> refs_{0};
};

// An owning reference (like ComPtr). Copying adds a reference, moving does not.
template <class T>
class Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}  // NOLINT: "Nothing" reads naturally as nullptr
  explicit Ref(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  Ref(const Ref& o) noexcept : Ref(o.p_) {}
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  Ref(const Ref<U>& o) noexcept : Ref(static_cast<T*>(o.get())) {}  // NOLINT: upcast
  template <class U>
  Ref(Ref<U>&& o) noexcept : p_(o.release()) {}  // NOLINT: upcast
  ~Ref() {
    if (p_) p_->Release();
  }
  Ref& operator=(Ref o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  T* release() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept { Ref().swap(*this); }
  void swap(Ref& o) noexcept { std::swap(p_, o.p_); }

  friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }

 private:
  T* p_ = nullptr;
};

template <class T, class... A>
Ref<T> MakeRef(A&&... args) {
  return Ref<T>(new T(std::forward<A>(args)...));
}

// A reference from a raw pointer that somebody else keeps alive.
template <class T>
Ref<T> RefTo(T* p) {
  return Ref<T>(p);
}

// Downcast that checks the dynamic type; empty when `o` is not a T.
template <class T, class U>
Ref<T> RefCast(const Ref<U>& o) {
  return Ref<T>(dynamic_cast<T*>(o.get()));
}

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_OBJECT_H_
