// Late-bound calls: arguments as a client passes them, the call frame a
// member implementation sees, and invoke-by-name.
//
// A client passes each argument by value, by reference (a pointer to its own
// variable), or not at all (omitted). The catalogue-driven Object::Invoke
// turns them into a CallFrame matching the member's declared parameters:
// - by-value arguments are coerced to the declared type (ChangeType; 13/6/94);
// - a by-reference parameter declared as Variant sees the caller's variable
//   itself; one declared with another type sees a coerced copy that is written
//   back into the caller's variable when the member returns (also when it
//   raises), as the runtime does for typed by-reference parameters;
// - an omitted optional Variant parameter holds the missing marker; another
//   omitted optional parameter holds its declared default or its type's zero;
//   an omitted required parameter raises 449;
// - more arguments than parameters, or fewer required ones, raise 450.
#ifndef KEYSTREL_FRAME_DISPATCH_H_
#define KEYSTREL_FRAME_DISPATCH_H_

#include <cstdint>
#include <span>
#include <vector>

#include "frame/object.h"
#include "frame/variant.h"

namespace keystrel {

struct ParamInfo;

// One argument as the client passes it.
struct Arg {
  Variant value;            // by value; unused when `ref` is set
  Variant* ref = nullptr;   // by reference: the caller's variable
  bool omitted = false;

  static Arg ByVal(Variant v) { return Arg{std::move(v), nullptr, false}; }
  static Arg ByRef(Variant& var) { return Arg{Variant(), &var, false}; }
  static Arg Omitted() { return Arg{Variant::Missing(), nullptr, true}; }

  Variant& get() { return ref ? *ref : value; }
  const Variant& get() const { return ref ? *ref : value; }
};

// What a member implementation receives: its declared parameters in order,
// each already coerced. Writing to a by-reference parameter reaches the
// caller; writing to a by-value one changes only the member's copy.
class CallFrame {
 public:
  CallFrame(std::vector<Variant*> slots, std::vector<bool> omitted)
      : slots_(std::move(slots)), omitted_(std::move(omitted)) {}

  std::size_t size() const noexcept { return slots_.size(); }
  Variant& operator[](std::size_t i) { return *slots_.at(i); }
  // True when the client gave no argument for parameter i.
  bool omitted(std::size_t i) const { return omitted_.at(i); }

  // Typed reads of parameters declared with that type.
  const UString& String(std::size_t i) { return (*this)[i].string(); }
  std::int32_t Long(std::size_t i) { return (*this)[i].long_value(); }
  std::int16_t Integer(std::size_t i) { return (*this)[i].integer_value(); }
  bool Bool(std::size_t i) { return (*this)[i].bool_value(); }
  Ref<Object> Obj(std::size_t i) { return (*this)[i].object(); }

 private:
  std::vector<Variant*> slots_;
  std::vector<bool> omitted_;
};

// Calls `name` on `obj` as a script client does: IdOfName (438 when unknown),
// then Invoke. `kind` defaults to a plain call (method or property get).
Variant InvokeByName(Object& obj, UStringView name, std::span<Arg> args,
                     std::uint16_t kind = kMethod | kPropertyGet);
// Convenience: all arguments by value.
Variant CallByName(Object& obj, UStringView name, std::vector<Variant> args = {},
                   std::uint16_t kind = kMethod | kPropertyGet);

// Applies an object as a value: calls its default member (dispatch
// identifier 0) with no arguments; 438 when it has none.
Variant DefaultValue(Object& obj);

// For-each: asks the object for its enumerator (dispatch identifier -4) and
// collects every item in order. 438 when the object is not enumerable.
std::vector<Variant> ForEachItems(Object& obj);

// An enumerator as the for-each protocol hands it out (IEnumVARIANT).
class Enumerator : public Object {
 public:
  // Next item into `out`; false at the end.
  virtual bool Next(Variant& out) = 0;
  virtual void Reset() = 0;

  // Late-bound surface (the runtime class "Enumerator"): Next(item) by
  // reference returning a boolean, Skip(count), Reset, and -4 giving itself.
  const ClassInfo* class_info() const noexcept override;
};

// An enumerator over a snapshot of items.
Ref<Enumerator> MakeSnapshotEnumerator(std::vector<Variant> items);

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_DISPATCH_H_
