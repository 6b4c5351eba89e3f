// VARIANTs seen as the frame's values, so the vectors' own comparison and
// notation (tools/conformance/values.h) judge what crossed COM.
//
// A COM object becomes a ComRef: one per object identity (IUnknown) while it
// lives, so comparing frame objects by address is comparing COM identity. A
// ComRef of one of the library's objects carries its class name (read from
// the object's type information), which the vectors' "objectof" matches.
//
// Thread safety: the script's thread only.
#ifndef KEYSTREL_COM_HARNESS_COM_VALUES_H_
#define KEYSTREL_COM_HARNESS_COM_VALUES_H_

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include <cstdint>
#include <string>

#include "frame/catalogue.h"
#include "frame/object.h"
#include "frame/variant.h"

namespace keystrel::harness {

class ComRef final : public Object {
 public:
  // The one ComRef of `unknown`'s identity; nullptr for nullptr or an
  // object without IDispatch.
  static Ref<ComRef> For(IUnknown* unknown);

  IDispatch* dispatch() const { return dispatch_; }
  const ClassInfo* class_info() const noexcept override {
    return info_.name.empty() ? nullptr : &info_;
  }

 private:
  ComRef(IUnknown* identity, IDispatch* dispatch);
  ~ComRef() override;

  IUnknown* identity_;
  IDispatch* dispatch_;
  ClassInfo info_;  // only the name is used
};

// The class name of a library object ("clsZqRegyHandlerC"), or "" for any
// other object.
std::wstring ClassNameOf(IDispatch* dispatch);

// Follows VT_BYREF. Raises AutomationError for a type the frame cannot hold.
Variant FromCom(const VARIANT& in);
// `out` must hold nothing that needs freeing.
void ToCom(const Variant& value, VARIANT* out);
// Stores `value` in the variable a VT_BYREF argument points at, converted to
// that variable's type as the library does for its own by-reference
// arguments. Raises AutomationError (13, 6) when it cannot be converted.
void WriteBack(const Variant& value, VARIANT& ref);

// The script-visible error of a failed IDispatch call: the number, source
// and description of its EXCEPINFO, or the HRESULT as the number
// (0x800A.... codes as their plain run-time number).
struct CallError {
  std::int32_t number = 0;
  UString source;
  UString description;
};
std::int32_t ErrorNumberOf(HRESULT hr);
// Invokes `id` on `dispatch`; false with `*error` filled when it failed.
bool InvokeDispatch(IDispatch* dispatch, DISPID id, WORD flags, VARIANT* args, UINT count,
                    VARIANT* result, CallError* error);

UString FromWide(const wchar_t* text, std::size_t length);
std::wstring ToWide(UStringView text);

}  // namespace keystrel::harness

#endif  // KEYSTREL_COM_HARNESS_COM_VALUES_H_
