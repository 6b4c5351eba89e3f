// The class catalogue: the single source of every class's members in slot
// order, their kinds, dispatch identifiers, parameters and types; the event
// interfaces; and the enumerations. Late-bound dispatch, the conformance
// runner and the COM type library all read it; nothing restates it.
//
// Each class module registers its classes once at start-up
// (InitializeLibrary); afterwards the catalogue is read-only, so reading it
// needs no lock.
#ifndef KEYSTREL_FRAME_CATALOGUE_H_
#define KEYSTREL_FRAME_CATALOGUE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "frame/dispatch.h"
#include "frame/object.h"
#include "frame/variant.h"

namespace keystrel {

enum class MemberKind : std::uint8_t { kMethod, kPropertyGet, kPropertyLet, kPropertySet };

struct ParamInfo {
  UString name;
  // kVariant, a scalar subtype, kObject, or kArray | element for array
  // parameters (always by reference, as the runtime passes arrays).
  VarType type = VarType::kVariant;
  bool by_ref = false;
  bool optional = false;
  std::optional<Variant> default_value;  // declared default of an optional
  // The enumeration this parameter is declared as, when it is one (for the
  // type library); empty otherwise. Enumerations travel as longs.
  UString enum_name;
};

// A member implementation: `self` is the object (its class is the member's
// class), `frame` the coerced parameters. Returns the result (Empty for a
// member without one).
using MemberFn = std::function<Variant(Object& self, CallFrame& frame)>;

inline constexpr std::int32_t kAutoDispid = 0x7fffffff;

struct MemberInfo {
  UString name;
  MemberKind kind = MemberKind::kMethod;
  std::vector<ParamInfo> params;  // for let/set the last one is the assigned value
  VarType result = VarType::kEmpty;  // kEmpty: no result (a Sub or a let/set)
  UString result_class;  // for object results: the catalogue class, if fixed
  UString result_enum;   // for long results declared as an enumeration
  MemberFn fn;
  // kAutoDispid: the catalogue assigns a stable identifier from the slot
  // order (shared by the get/let/set of one property); 0 and -4 are fixed
  // where the class says so.
  std::int32_t dispid = kAutoDispid;
  bool hidden = false;
};

struct EventInfo {
  UString name;
  std::int32_t dispid = 0;  // the event's number
  std::vector<ParamInfo> params;
};

struct EventInterfaceInfo {
  UString name;  // "__clsZqRegyHandlerA"
  std::vector<EventInfo> events;
  const EventInfo* FindEvent(std::int32_t dispid) const;
  const EventInfo* FindEvent(UStringView name) const;
};

enum class Instancing : std::uint8_t {
  kCreatable,     // clients create it by class / programmatic identifier
  kNotCreatable,  // only the library makes it
  kGlobal,        // creatable, and one predeclared instance per thread
  kRuntime,       // the automation layer's own (Collection, App): not in the type library
};

struct ClassInfo {
  UString name;  // "clsZqRegyHandlerC"
  Instancing instancing = Instancing::kCreatable;
  std::vector<MemberInfo> members;  // slot order
  std::shared_ptr<const EventInterfaceInfo> events;  // nullptr when none
  // Makes a new instance (creatable and global classes; also used for the
  // predeclared instance).
  std::function<Ref<Object>()> factory;

  UString interface_name() const { return u"_" + name; }
  UString progid() const;  // "Keystrel10." + name

  // Lookups; nullptr when absent. Name lookups ignore case.
  const MemberInfo* FindMember(std::int32_t dispid, MemberKind kind) const;
  std::int32_t IdOfName(UStringView name) const;  // kDispidUnknown when absent
};

struct EnumInfo {
  UString name;
  std::vector<std::pair<UString, std::int32_t>> members;  // declaration order
};

class Catalogue {
 public:
  static Catalogue& Instance();

  // Registration, at start-up only. AddClass assigns automatic dispatch
  // identifiers and indexes the members; adding a class name twice replaces
  // the earlier entry (tests register their own classes).
  void AddClass(ClassInfo info);
  void AddEnum(EnumInfo info);

  const ClassInfo* FindClass(UStringView name) const;
  const EnumInfo* FindEnum(UStringView name) const;
  std::vector<const ClassInfo*> Classes() const;  // registration order
  std::vector<const EnumInfo*> Enums() const;     // registration order

 private:
  Catalogue();
  struct State;
  std::unique_ptr<State> state_;
};

// Shorthands for writing catalogue entries: a member of any kind, and a
// method.
MemberInfo Member(UString name, MemberKind kind, std::vector<ParamInfo> params, VarType result,
                  MemberFn fn);
MemberInfo Method(UString name, std::vector<ParamInfo> params, VarType result, MemberFn fn);

// The catalogue-driven implementation behind Object::IdOfName/Invoke, for
// objects that override them but still want the catalogue path.
Variant InvokeMember(Object& self, const ClassInfo& cls, std::int32_t dispid,
                     std::uint16_t kind, std::span<Arg> args);

}  // namespace keystrel

#endif  // KEYSTREL_FRAME_CATALOGUE_H_
