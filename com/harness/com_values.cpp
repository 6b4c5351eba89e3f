#include "com/harness/com_values.h"

#include <cstring>
#include <map>

#include "frame/error.h"
#include "frame/safe_array.h"

namespace keystrel::harness {
namespace {

constexpr std::int32_t kUnsupportedType = 458;

std::map<IUnknown*, ComRef*>& Interned() {
  static auto* map = new std::map<IUnknown*, ComRef*>();
  return *map;
}

std::wstring TypeInfoName(ITypeInfo* info) {
  BSTR name = nullptr;
  std::wstring out;
  if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr)) && name) {
    out.assign(name, SysStringLen(name));
  }
  SysFreeString(name);
  return out;
}

Variant ElementOf(SAFEARRAY* sa, VARTYPE vt, LONG index) {
  VARIANT v;
  VariantInit(&v);
  if (vt == VT_VARIANT) {
    SafeArrayGetElement(sa, &index, &v);
  } else {
    v.vt = vt;
    SafeArrayGetElement(sa, &index, &v.bstrVal);
  }
  Variant out = FromCom(v);
  VariantClear(&v);
  return out;
}

Variant FromSafeArray(SAFEARRAY* sa, VARTYPE element) {
  const VarType frame_element =
      static_cast<VarType>(element == VT_UNKNOWN ? VARTYPE{VT_DISPATCH} : element);
  if (!sa) return Variant::Array(SafeArray(frame_element));
  if (SafeArrayGetDim(sa) != 1) RaiseError(rt::kInvalidProcedureCall);
  LONG lbound = 0, ubound = -1;
  SafeArrayGetLBound(sa, 1, &lbound);
  SafeArrayGetUBound(sa, 1, &ubound);
  SafeArray out(frame_element, lbound, ubound - lbound + 1);
  for (LONG i = lbound; i <= ubound; ++i) out.Set(i, ElementOf(sa, element, i));
  return Variant::Array(std::move(out));
}

SAFEARRAY* ToSafeArray(const SafeArray& a) {
  const VARTYPE vt = static_cast<VARTYPE>(a.element_type());
  if (!a.has_storage()) return nullptr;
  const LONG lbound = a.LBound();
  SAFEARRAY* sa = SafeArrayCreateVector(vt, lbound, static_cast<ULONG>(a.size()));
  if (!sa) RaiseError(rt::kOutOfMemory);
  for (LONG i = lbound; i < lbound + a.size(); ++i) {
    VARIANT v;
    ToCom(a.Get(i), &v);
    HRESULT hr;
    if (vt == VT_VARIANT) {
      hr = SafeArrayPutElement(sa, &i, &v);
    } else if (vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      hr = SafeArrayPutElement(sa, &i, v.bstrVal);  // copies / AddRefs
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

BSTR ToBstr(UStringView text) {
  BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
  if (!b) RaiseError(rt::kOutOfMemory);
  return b;
}

}  // namespace

UString FromWide(const wchar_t* text, std::size_t length) {
  return UString(reinterpret_cast<const char16_t*>(text), length);
}

std::wstring ToWide(UStringView text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

ComRef::ComRef(IUnknown* identity, IDispatch* dispatch)
    : identity_(identity), dispatch_(dispatch) {
  const std::wstring name = ClassNameOf(dispatch);
  info_.name = FromWide(name.c_str(), name.size());
  Interned()[identity_] = this;
}

ComRef::~ComRef() {
  Interned().erase(identity_);
  dispatch_->Release();
  identity_->Release();
}

Ref<ComRef> ComRef::For(IUnknown* unknown) {
  if (!unknown) return nullptr;
  IUnknown* identity = nullptr;
  if (FAILED(unknown->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) {
    RaiseError(rt::kTypeMismatch);
  }
  auto it = Interned().find(identity);
  if (it != Interned().end()) {
    identity->Release();
    return Ref<ComRef>(it->second);
  }
  IDispatch* dispatch = nullptr;
  if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    identity->Release();
    RaiseError(rt::kTypeMismatch);
  }
  return Ref<ComRef>(new ComRef(identity, dispatch));
}

std::wstring ClassNameOf(IDispatch* dispatch) {
  std::wstring name;
  IProvideClassInfo* provide = nullptr;
  if (SUCCEEDED(dispatch->QueryInterface(IID_IProvideClassInfo,
                                         reinterpret_cast<void**>(&provide)))) {
    ITypeInfo* info = nullptr;
    if (SUCCEEDED(provide->GetClassInfo(&info)) && info) {
      name = TypeInfoName(info);
      info->Release();
    }
    provide->Release();
  }
  if (!name.empty()) return name;
  // Classes without a coclass of their own still name their interface
  // "_<class>".
  ITypeInfo* info = nullptr;
  if (SUCCEEDED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) && info) {
    name = TypeInfoName(info);
    info->Release();
    if (name.size() > 1 && name[0] == L'_') return name.substr(1);
  }
  return {};
}

Variant FromCom(const VARIANT& in) {
  const VARTYPE vt = in.vt;
  const bool byref = (vt & VT_BYREF) != 0;
  const VARTYPE base = vt & ~VT_BYREF;
  if (base == VT_VARIANT && byref) return in.pvarVal ? FromCom(*in.pvarVal) : Variant();
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
    case VT_BSTR: {
      BSTR b = byref ? *in.pbstrVal : in.bstrVal;
      return Variant::String(b ? FromWide(b, SysStringLen(b)) : UString());
    }
    case VT_DISPATCH:
      return Variant::Object(ComRef::For(byref ? *in.ppdispVal : in.pdispVal));
    case VT_UNKNOWN: return Variant::Object(ComRef::For(byref ? *in.ppunkVal : in.punkVal));
    case VT_ERROR: return Variant::Error(byref ? *in.pscode : in.scode);
    case VT_BOOL: return Variant::Boolean((byref ? *in.pboolVal : in.boolVal) != VARIANT_FALSE);
    case VT_UI1: return Variant::Byte(byref ? *in.pbVal : in.bVal);
    case VT_DECIMAL: {
      const DECIMAL& d = byref ? *in.pdecVal : in.decVal;
      return Variant::FromDecimal(Decimal{d.Hi32, d.Lo64, d.scale, (d.sign & DECIMAL_NEG) != 0});
    }
    default: break;
  }
  RaiseError(kUnsupportedType, {}, u"Variable uses an Automation type not supported");
}

void ToCom(const Variant& value, VARIANT* out) {
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
    case VarType::kString: out->bstrVal = ToBstr(value.string()); out->vt = VT_BSTR; return;
    case VarType::kObject: {
      auto* ref = dynamic_cast<ComRef*>(value.object().get());
      out->pdispVal = ref ? ref->dispatch() : nullptr;
      if (out->pdispVal) out->pdispVal->AddRef();
      out->vt = VT_DISPATCH;
      return;
    }
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
  out->vt = static_cast<VARTYPE>(VT_ARRAY | static_cast<VARTYPE>(a.element_type()));
}

void WriteBack(const Variant& value, VARIANT& ref) {
  const VARTYPE base = ref.vt & ~VT_BYREF;
  if (!(ref.vt & VT_BYREF)) return;  // a by-value argument: only the callee's copy
  VARIANT fresh;
  ToCom(value, &fresh);
  if (base == VT_VARIANT) {
    if (!ref.pvarVal) {
      VariantClear(&fresh);
      return;
    }
    VariantClear(ref.pvarVal);
    *ref.pvarVal = fresh;
    return;
  }
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
  std::size_t size = 8;
  switch (base) {
    case VT_I1: case VT_UI1: size = 1; break;
    case VT_I2: case VT_UI2: case VT_BOOL: size = 2; break;
    case VT_I4: case VT_UI4: case VT_R4: case VT_ERROR: case VT_INT: case VT_UINT: size = 4; break;
    default: break;
  }
  std::memcpy(ref.byref, &fresh.bVal, size);
}

std::int32_t ErrorNumberOf(HRESULT hr) {
  const auto code = static_cast<std::uint32_t>(hr);
  if ((code & 0xFFFF0000u) == 0x800A0000u) return static_cast<std::int32_t>(code & 0xFFFF);
  return static_cast<std::int32_t>(code);
}

bool InvokeDispatch(IDispatch* dispatch, DISPID id, WORD flags, VARIANT* args, UINT count,
                    VARIANT* result, CallError* error) {
  DISPPARAMS params{args, nullptr, count, 0};
  EXCEPINFO excep{};
  UINT arg_err = 0;
  HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep,
                                &arg_err);
  if (SUCCEEDED(hr)) return true;
  *error = CallError{};
  if (hr == DISP_E_EXCEPTION) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    error->number = excep.wCode ? excep.wCode : ErrorNumberOf(excep.scode);
    if (excep.bstrSource) error->source = FromWide(excep.bstrSource, SysStringLen(excep.bstrSource));
    if (excep.bstrDescription) {
      error->description = FromWide(excep.bstrDescription, SysStringLen(excep.bstrDescription));
    }
  } else {
    // What a script reads for the dispatch failures themselves.
    switch (hr) {
      case DISP_E_MEMBERNOTFOUND: case DISP_E_UNKNOWNNAME: error->number = 438; break;
      case DISP_E_TYPEMISMATCH: error->number = 13; break;
      case DISP_E_BADPARAMCOUNT: error->number = 450; break;
      case DISP_E_PARAMNOTOPTIONAL: error->number = 449; break;
      case DISP_E_OVERFLOW: error->number = 6; break;
      default: error->number = ErrorNumberOf(hr); break;
    }
  }
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return false;
}

}  // namespace keystrel::harness
