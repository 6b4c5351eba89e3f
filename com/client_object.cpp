#include "com/client_object.h"

#include <dispex.h>

#include <vector>

#include "com/variant_bridge.h"
#include "frame/dispatch.h"
#include "frame/error.h"

namespace keystrel::com {
namespace {

// mingw's uuid library does not carry this one.
const IID kIidDispatchEx = {0xa6ef9860, 0xc720, 0x11d0, {0x93, 0x37, 0x00, 0xa0, 0xc9, 0x0d, 0xca, 0xa9}};

class ClientObject final : public Object {
 public:
  explicit ClientObject(IDispatch* dispatch) : dispatch_(dispatch) {
    dispatch_->AddRef();
    // Script objects (a VBScript class instance) may answer names only
    // through IDispatchEx.
    if (FAILED(dispatch_->QueryInterface(kIidDispatchEx, reinterpret_cast<void**>(&ex_)))) {
      ex_ = nullptr;
    }
  }

  std::int32_t IdOfName(UStringView name) override {
    std::wstring wide(name.begin(), name.end());
    DISPID id = DISPID_UNKNOWN;
    if (ex_) {
      BSTR bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      HRESULT hr = ex_->GetDispID(bstr, fdexNameCaseInsensitive, &id);
      SysFreeString(bstr);
      if (SUCCEEDED(hr)) return id;
    }
    LPOLESTR names[1] = {wide.data()};
    if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
      return kDispidUnknown;
    }
    return id;
  }

  Variant Invoke(std::int32_t dispid, std::uint16_t kind, std::span<Arg> args) override;

  IDispatch* dispatch() const { return dispatch_; }

 private:
  ~ClientObject() override {
    if (ex_) ex_->Release();
    dispatch_->Release();
  }

  IDispatch* dispatch_;
  IDispatchEx* ex_ = nullptr;
};

// Frees what the argument variants own, also when the call fails midway.
struct VariantList {
  std::vector<VARIANT> items;
  explicit VariantList(std::size_t n) : items(n) {
    for (VARIANT& v : items) VariantInit(&v);
  }
  ~VariantList() {
    for (VARIANT& v : items) VariantClear(&v);
  }
};

Variant ClientObject::Invoke(std::int32_t dispid, std::uint16_t kind, std::span<Arg> args) {
  const std::size_t n = args.size();
  VariantList values(n);  // the values, in call order
  VariantList passed(n);  // what IDispatch sees, reversed
  std::vector<Variant> sent(n);  // by-reference values as they left, read back
  for (std::size_t i = 0; i < n; ++i) {
    if (args[i].omitted) {
      values.items[i].vt = VT_ERROR;
      values.items[i].scode = DISP_E_PARAMNOTFOUND;
    } else {
      ToVariant(args[i].get(), &values.items[i]);
    }
    VARIANT& slot = passed.items[n - 1 - i];
    if (args[i].ref) {
      // By reference: the client sees and may change our copy, which is
      // written back to the frame's variable after the call.
      slot.vt = VT_BYREF | VT_VARIANT;
      slot.pvarVal = &values.items[i];
      sent[i] = FromVariant(values.items[i]);
    } else {
      slot = values.items[i];
      VariantInit(&values.items[i]);
    }
  }
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{passed.items.data(), nullptr, static_cast<UINT>(n), 0};
  if (kind & (kPropertyLet | kPropertySet)) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  UINT arg_err = 0;
  HRESULT hr = ex_ ? ex_->InvokeEx(dispid, LOCALE_USER_DEFAULT, kind, &params, &result, &excep,
                                   nullptr)
                  : dispatch_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, kind, &params,
                                      &result, &excep, &arg_err);
  // By-reference slots do not own their pointee: detach them before the
  // list is cleared.
  for (std::size_t i = 0; i < n; ++i) {
    if (args[i].ref) VariantInit(&passed.items[n - 1 - i]);
  }
  // Only what the client changed is written back. The frame's variable may
  // have changed meanwhile through a call the client made back into the
  // library (a sink handling an event calls its source); copying back an
  // untouched slot would undo that, where a caller passing the variable
  // itself by reference would see it.
  for (std::size_t i = 0; i < n; ++i) {
    if (!args[i].ref) continue;
    Variant back = FromVariant(values.items[i]);
    if (!(back == sent[i])) *args[i].ref = std::move(back);
  }
  if (hr == DISP_E_EXCEPTION) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    UString source = FromBstr(excep.bstrSource);
    UString description = FromBstr(excep.bstrDescription);
    const HRESULT code = excep.scode ? excep.scode : HresultFromErrorNumber(excep.wCode);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&result);
    RaiseError(ErrorNumberFromHresult(code), std::move(source), std::move(description));
  }
  if (FAILED(hr)) {
    VariantClear(&result);
    switch (hr) {
      case DISP_E_MEMBERNOTFOUND:
      case DISP_E_UNKNOWNNAME: RaiseError(rt::kMemberNotFound);
      case DISP_E_BADPARAMCOUNT: RaiseError(rt::kWrongArgumentCount);
      case DISP_E_PARAMNOTOPTIONAL: RaiseError(rt::kArgumentNotOptional);
      case DISP_E_TYPEMISMATCH: RaiseError(rt::kTypeMismatch);
      case DISP_E_OVERFLOW: RaiseError(rt::kOverflow);
      default: RaiseError(ErrorNumberFromHresult(hr));
    }
  }
  Variant answer = FromVariant(result);
  VariantClear(&result);
  return answer;
}

}  // namespace

Ref<Object> MakeClientObject(IDispatch* dispatch) { return MakeRef<ClientObject>(dispatch); }

IDispatch* ClientDispatchOf(Object* object) {
  auto* client = dynamic_cast<ClientObject*>(object);
  return client ? client->dispatch() : nullptr;
}

std::int32_t ErrorNumberFromHresult(HRESULT hr) {
  const auto code = static_cast<std::uint32_t>(hr);
  if ((code & 0xFFFF0000u) == 0x800A0000u) return static_cast<std::int32_t>(code & 0xFFFFu);
  return static_cast<std::int32_t>(code);
}

HRESULT HresultFromErrorNumber(std::int32_t number) {
  // Run-time and application numbers (1 to 65535) travel in the control
  // facility, where script clients read them back as the plain number;
  // anything else already is a full status code.
  if (number > 0 && number <= 0xFFFF) {
    return static_cast<HRESULT>(0x800A0000u | static_cast<std::uint32_t>(number));
  }
  return static_cast<HRESULT>(number);
}

}  // namespace keystrel::com
