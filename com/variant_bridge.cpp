#include "com/variant_bridge.h"

#include <cstring>

#include "com/client_object.h"
#include "com/com_object.h"
#include "frame/error.h"
#include "frame/safe_array.h"

namespace keystrel::com {
namespace {

constexpr std::int32_t kUnsupportedType = 458;  // "Variable uses an Automation type not supported"

VARTYPE ComType(VarType t) { return static_cast<VARTYPE>(t); }

Ref<Object> ObjectFromUnknown(IUnknown* unknown) {
  if (!unknown) return nullptr;
  if (Ref<Object> ours = Unwrap(unknown)) return ours;
  IDispatch* dispatch = nullptr;
  if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    RaiseError(rt::kTypeMismatch);
  }
  Ref<Object> proxy = MakeClientObject(dispatch);
  dispatch->Release();
  return proxy;
}

// One element of a SAFEARRAY as a frame value.
Variant ElementOf(SAFEARRAY* sa, VARTYPE vt, LONG index) {
  VARIANT v;
  VariantInit(&v);
  if (vt == VT_VARIANT) {
    SafeArrayGetElement(sa, &index, &v);
  } else if (vt == VT_DECIMAL) {
    // A DECIMAL fills the whole VARIANT (its reserved word is vt), not the
    // value field the other types use.
    SafeArrayGetElement(sa, &index, &v.decVal);
    v.vt = VT_DECIMAL;
  } else {
    v.vt = vt;
    // BSTR and interface elements come back as owned copies, which the
    // VariantClear below frees.
    SafeArrayGetElement(sa, &index, &v.bstrVal);
  }
  Variant out = FromVariant(v);
  VariantClear(&v);
  return out;
}

Variant FromSafeArray(SAFEARRAY* sa, VARTYPE element) {
  VarType frame_element = static_cast<VarType>(element == VT_UNKNOWN ? VARTYPE{VT_DISPATCH} : element);
  if (!sa) return Variant::Array(SafeArray(frame_element));
  if (SafeArrayGetDim(sa) != 1) RaiseError(rt::kInvalidProcedureCall);
  LONG lbound = 0, ubound = -1;
  SafeArrayGetLBound(sa, 1, &lbound);
  SafeArrayGetUBound(sa, 1, &ubound);
  SafeArray out(frame_element, lbound, ubound - lbound + 1);
  if (element == VT_UI1) {
    void* data = nullptr;
    SafeArrayAccessData(sa, &data);
    if (ubound >= lbound) std::memcpy(out.bytes().data(), data, ubound - lbound + 1);
    SafeArrayUnaccessData(sa);
    return Variant::Array(std::move(out));
  }
  for (LONG i = lbound; i <= ubound; ++i) out.Set(i, ElementOf(sa, element, i));
  return Variant::Array(std::move(out));
}

SAFEARRAY* ToSafeArray(const SafeArray& a) {
  VARTYPE vt = ComType(a.element_type());
  if (!a.has_storage()) return nullptr;
  const LONG lbound = a.LBound();
  SAFEARRAY* sa = SafeArrayCreateVector(vt, lbound, static_cast<ULONG>(a.size()));
  if (!sa) RaiseError(rt::kOutOfMemory);
  if (vt == VT_UI1) {
    void* data = nullptr;
    SafeArrayAccessData(sa, &data);
    if (a.size() > 0) std::memcpy(data, a.bytes().data(), a.bytes().size());
    SafeArrayUnaccessData(sa);
    return sa;
  }
  for (LONG i = lbound; i < lbound + a.size(); ++i) {
    VARIANT v;
    VariantInit(&v);
    ToVariant(a.Get(i), &v);
    HRESULT hr;
    if (vt == VT_VARIANT) {
      hr = SafeArrayPutElement(sa, &i, &v);
    } else if (vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      // Put copies strings and AddRefs interfaces.
      hr = SafeArrayPutElement(sa, &i, v.bstrVal);
    } else if (vt == VT_DECIMAL) {
      hr = SafeArrayPutElement(sa, &i, &v.decVal);
    } else {
      hr = SafeArrayPutElement(sa, &i, &v.bstrVal);
    }
    VariantClear(&v);
    if (FAILED(hr)) {
      SafeArrayDestroy(sa);
      RaiseError(rt::kOutOfMemory);
    }
  }
  return sa;
}

}  // namespace

BSTR ToBstr(UStringView text) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

UString FromBstr(BSTR text) {
  if (!text) return {};
  return UString(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

Variant FromVariant(const VARIANT& in) {
  const VARTYPE vt = in.vt;
  const bool byref = (vt & VT_BYREF) != 0;
  const VARTYPE base = vt & ~VT_BYREF;
  if (base == VT_VARIANT && byref) return in.pvarVal ? FromVariant(*in.pvarVal) : Variant();
  if (base & VT_ARRAY) {
    SAFEARRAY* sa = byref ? (in.pparray ? *in.pparray : nullptr) : in.parray;
    VARTYPE element = base & ~VT_ARRAY;
    if (sa && element == VT_EMPTY) SafeArrayGetVartype(sa, &element);
    return FromSafeArray(sa, element);
  }
  switch (base) {
    case VT_EMPTY: return Variant();
    case VT_NULL: return Variant::Null();
    case VT_I2: return Variant::Integer(byref ? *in.piVal : in.iVal);
    case VT_I4: return Variant::Long(byref ? *in.plVal : in.lVal);
    case VT_R4: return Variant::Single(byref ? *in.pfltVal : in.fltVal);
    case VT_R8: return Variant::Double(byref ? *in.pdblVal : in.dblVal);
    case VT_CY: return Variant::FromCurrency(Currency{(byref ? *in.pcyVal : in.cyVal).int64});
    case VT_DATE: return Variant::FromDate(Date{byref ? *in.pdate : in.date});
    case VT_BSTR: return Variant::String(FromBstr(byref ? *in.pbstrVal : in.bstrVal));
    case VT_DISPATCH: return Variant::Object(ObjectFromUnknown(byref ? *in.ppdispVal : in.pdispVal));
    case VT_UNKNOWN: return Variant::Object(ObjectFromUnknown(byref ? *in.ppunkVal : in.punkVal));
    case VT_ERROR: return Variant::Error(byref ? *in.pscode : in.scode);
    case VT_BOOL: return Variant::Boolean((byref ? *in.pboolVal : in.boolVal) != VARIANT_FALSE);
    case VT_UI1: return Variant::Byte(byref ? *in.pbVal : in.bVal);
    case VT_DECIMAL: {
      const DECIMAL& d = byref ? *in.pdecVal : in.decVal;
      return Variant::FromDecimal(Decimal{d.Hi32, d.Lo64, d.scale, (d.sign & DECIMAL_NEG) != 0});
    }
    default: break;
  }
  // Integer types the frame has no subtype for arrive from typed clients;
  // widen them as the runtime's own conversion would.
  VARIANT wide;
  VariantInit(&wide);
  if (SUCCEEDED(VariantChangeType(&wide, const_cast<VARIANT*>(&in), 0, VT_I4))) {
    return Variant::Long(wide.lVal);
  }
  if (SUCCEEDED(VariantChangeType(&wide, const_cast<VARIANT*>(&in), 0, VT_R8))) {
    return Variant::Double(wide.dblVal);
  }
  RaiseError(kUnsupportedType, {}, u"Variable uses an Automation type not supported");
}

void ToVariant(const Variant& value, VARIANT* out) {
  VariantInit(out);
  switch (value.type()) {
    case VarType::kEmpty: return;
    case VarType::kNull: out->vt = VT_NULL; return;
    case VarType::kInteger: out->vt = VT_I2; out->iVal = value.integer_value(); return;
    case VarType::kLong: out->vt = VT_I4; out->lVal = value.long_value(); return;
    case VarType::kSingle: out->vt = VT_R4; out->fltVal = value.single_value(); return;
    case VarType::kDouble: out->vt = VT_R8; out->dblVal = value.double_value(); return;
    case VarType::kCurrency: out->vt = VT_CY; out->cyVal.int64 = value.currency_value().scaled; return;
    case VarType::kDate: out->vt = VT_DATE; out->date = value.date_value().days; return;
    case VarType::kString:
      out->bstrVal = ToBstr(value.string());
      if (!out->bstrVal) RaiseError(rt::kOutOfMemory);
      out->vt = VT_BSTR;
      return;
    case VarType::kObject: out->vt = VT_DISPATCH; out->pdispVal = Wrap(value.object().get()); return;
    case VarType::kError: out->vt = VT_ERROR; out->scode = value.error_value(); return;
    case VarType::kBoolean:
      out->vt = VT_BOOL;
      out->boolVal = value.bool_value() ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case VarType::kDecimal: {
      const Decimal d = value.decimal_value();
      out->decVal.Hi32 = d.hi32;
      out->decVal.Lo64 = d.lo64;
      out->decVal.scale = d.scale;
      out->decVal.sign = d.negative ? DECIMAL_NEG : 0;
      out->vt = VT_DECIMAL;  // after the fields: vt overlays DECIMAL's reserved word
      return;
    }
    case VarType::kByte: out->vt = VT_UI1; out->bVal = value.byte_value(); return;
    case VarType::kVariant: return;
    case VarType::kArray: break;
  }
  const SafeArray& a = value.array();
  out->parray = ToSafeArray(a);
  out->vt = static_cast<VARTYPE>(VT_ARRAY | ComType(a.element_type()));
}

void WriteBack(const Variant& value, VARIANT& ref) {
  const VARTYPE base = ref.vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    if (!ref.pvarVal) return;
    VARIANT fresh;
    ToVariant(value, &fresh);
    VariantClear(ref.pvarVal);
    *ref.pvarVal = fresh;
    return;
  }
  VARIANT fresh;
  ToVariant(value, &fresh);
  if (base & VT_ARRAY) {
    if (fresh.vt != base) {
      VariantClear(&fresh);
      RaiseError(rt::kTypeMismatch);
    }
    if (*ref.pparray) SafeArrayDestroy(*ref.pparray);
    *ref.pparray = fresh.parray;
    return;
  }
  HRESULT hr = VariantChangeType(&fresh, &fresh, 0, base);
  if (FAILED(hr)) {
    VariantClear(&fresh);
    RaiseError(hr == DISP_E_OVERFLOW ? rt::kOverflow : rt::kTypeMismatch);
  }
  switch (base) {
    case VT_BSTR: SysFreeString(*ref.pbstrVal); *ref.pbstrVal = fresh.bstrVal; return;
    case VT_DISPATCH:
      if (*ref.ppdispVal) (*ref.ppdispVal)->Release();
      *ref.ppdispVal = fresh.pdispVal;
      return;
    case VT_UNKNOWN:
      if (*ref.ppunkVal) (*ref.ppunkVal)->Release();
      *ref.ppunkVal = fresh.punkVal;
      return;
    case VT_DECIMAL: *ref.pdecVal = fresh.decVal; return;
    default: break;
  }
  // Plain scalars: copy the bytes of the union member the pointer names.
  std::size_t size = 8;
  switch (base) {
    case VT_I1: case VT_UI1: size = 1; break;
    case VT_I2: case VT_UI2: case VT_BOOL: size = 2; break;
    case VT_I4: case VT_UI4: case VT_R4: case VT_ERROR: case VT_INT: case VT_UINT: size = 4; break;
    default: break;
  }
  std::memcpy(ref.byref, &fresh.bVal, size);
}

}  // namespace keystrel::com
