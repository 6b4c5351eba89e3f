#include "com/com_object.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "com/client_object.h"
#include "com/dual_interface.h"
#include "com/module.h"
#include "com/variant_bridge.h"
#include "frame/catalogue.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/events.h"

namespace keystrel::com {
namespace {

// Answered only by our wrappers, so an incoming IDispatch can be recognised
// and its frame object used directly instead of through a proxy.
const IID kIidFrameObject = {0x6b9f3d1e, 0x52a4, 0x8c07, {0x9a, 0x1d, 0x4e, 0x53, 0x74, 0x72, 0x6c, 0x10}};

class ComObject;

std::mutex& WrapperMutex() {
  static std::mutex mu;
  return mu;
}
std::map<Object*, ComObject*>& Wrappers() {
  static auto* map = new std::map<Object*, ComObject*>();
  return *map;
}

std::wstring WideOf(const UString& s) { return std::wstring(s.begin(), s.end()); }

class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(IConnectionPointContainer* container, EventSource* source, Ref<Object> owner,
                  IID iid)
      : container_(container), source_(source), owner_(std::move(owner)), iid_(iid) {
    container_->AddRef();
    LockModule();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
      *out = static_cast<IConnectionPoint*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    if (!out) return E_POINTER;
    *out = container_;
    container_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    IDispatch* dispatch = nullptr;
    // A sink may implement the event interface itself (a dispinterface, so
    // its vtable is IDispatch's) or only IDispatch.
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&dispatch))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
      return CONNECT_E_CANNOTCONNECT;
    }
    Ref<Object> proxy = MakeClientObject(dispatch);
    dispatch->Release();
    *cookie = source_->Advise(std::move(proxy));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    return source_->Unadvise(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~ConnectionPoint() {
    container_->Release();
    UnlockModule();
  }

  ULONG refs_ = 1;
  IConnectionPointContainer* container_;
  EventSource* source_;  // lives as long as owner_
  Ref<Object> owner_;
  IID iid_;
};

// Single-entry enumerator of connection points, for clients that walk them.
class ConnectionPointsEnum final : public IEnumConnectionPoints {
 public:
  explicit ConnectionPointsEnum(IConnectionPoint* point) : point_(point) {
    if (point_) point_->AddRef();
    LockModule();
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumConnectionPoints) {
      *out = static_cast<IEnumConnectionPoints*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && point_ && position_ == 0) {
      out[0] = point_;
      point_->AddRef();
      n = 1;
      position_ = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    position_ += count;
    return position_ <= 1 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    auto* copy = new ConnectionPointsEnum(point_);
    copy->position_ = position_;
    *out = copy;
    return S_OK;
  }

 private:
  ~ConnectionPointsEnum() {
    if (point_) point_->Release();
    UnlockModule();
  }
  ULONG refs_ = 1;
  IConnectionPoint* point_;
  ULONG position_ = 0;
};

class ComObject final : public IDispatch,
                        public IProvideClassInfo,
                        public ISupportErrorInfo,
                        public IConnectionPointContainer,
                        public IEnumVARIANT {
 public:
  explicit ComObject(Ref<Object> object) : object_(std::move(object)) {
    enumerator_ = dynamic_cast<Enumerator*>(object_.get());
    if (const ClassInfo* cls = object_->class_info()) {
      class_name_ = WideOf(cls->name);
      // The runtime's own classes are described by a dispinterface only:
      // no coclass, no vtable beyond IDispatch's.
      runtime_class_ = cls->instancing == Instancing::kRuntime;
      interface_iid_ = GuidOf(L"_" + class_name_);
      if (cls->events && object_->event_source()) {
        events_iid_ = GuidOf(WideOf(cls->events->name));
      }
    }
    LockModule();
  }

  Object* object() const { return object_.get(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
    } else if (riid == kIidFrameObject) {
      *out = static_cast<IDispatch*>(this);
    } else if (riid == interface_iid_ && interface_iid_ != GUID_NULL && runtime_class_) {
      // A dispinterface is answered by the IDispatch itself.
      *out = static_cast<IDispatch*>(this);
    } else if (riid == interface_iid_ && interface_iid_ != GUID_NULL) {
      // The class's dual interface: its face is made on first request and
      // lives as long as this wrapper, so every request gets one pointer.
      if (!dual_) {
        try {
          dual_ = MakeDualFace(interface_iid_, static_cast<IDispatch*>(this));
        } catch (...) {
          return E_OUTOFMEMORY;
        }
      }
      if (!dual_) return E_NOINTERFACE;
      *out = dual_->Interface();
    } else if (riid == IID_IProvideClassInfo && !class_name_.empty() && !runtime_class_) {
      *out = static_cast<IProvideClassInfo*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else if (riid == IID_IConnectionPointContainer && events_iid_ != GUID_NULL) {
      *out = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_IEnumVARIANT && enumerator_) {
      *out = static_cast<IEnumVARIANT*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      {
        std::lock_guard lock(WrapperMutex());
        auto it = Wrappers().find(object_.get());
        if (it != Wrappers().end() && it->second == this) Wrappers().erase(it);
      }
      delete this;
    }
    return left;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = InterfaceInfo() ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    ITypeInfo* info = InterfaceInfo();
    if (index != 0 || !info) return DISP_E_BADINDEX;
    info->AddRef();
    *out = info;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    HRESULT hr = S_OK;
    try {
      ids[0] = object_->IdOfName(UStringView(reinterpret_cast<const char16_t*>(names[0])));
      if (ids[0] == kDispidUnknown) hr = DISP_E_UNKNOWNNAME;
    } catch (...) {
      ids[0] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
    // Named arguments are not supported: their identifiers stay unknown.
    for (UINT i = 1; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override;

  // IProvideClassInfo
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = FindTypeInfo(class_name_);
    if (!*out) return E_FAIL;
    (*out)->AddRef();
    return S_OK;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IID_IDispatch || (interface_iid_ != GUID_NULL && riid == interface_iid_)
               ? S_OK
               : S_FALSE;
  }

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    IConnectionPoint* point = nullptr;
    FindConnectionPoint(events_iid_, &point);
    *out = new ConnectionPointsEnum(point);
    if (point) point->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    EventSource* source = object_->event_source();
    if (events_iid_ == GUID_NULL || riid != events_iid_ || !source) return CONNECT_E_NOCONNECTION;
    // A fresh point per request: the point holds the container, so a cached
    // one would keep the object alive forever. Every point serves the same
    // event source, so a cookie from one is valid on any other.
    *out = new ConnectionPoint(this, source, object_, events_iid_);
    return S_OK;
  }

  // IEnumVARIANT
  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override {
    if (!items) return E_POINTER;
    ULONG n = 0;
    try {
      for (; n < count; ++n) {
        Variant item;
        if (!enumerator_->Next(item)) break;
        ToVariant(item, &items[n]);
      }
    } catch (...) {
      for (ULONG i = 0; i < n; ++i) VariantClear(&items[i]);
      if (fetched) *fetched = 0;
      return ReportCurrentException(nullptr, IID_IEnumVARIANT);
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    Variant ignored;
    for (ULONG i = 0; i < count; ++i) {
      if (!enumerator_->Next(ignored)) return S_FALSE;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    enumerator_->Reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    // The frame's enumerators have no copy; clients of For Each never ask.
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~ComObject() { UnlockModule(); }

  ITypeInfo* InterfaceInfo() const {
    return class_name_.empty() ? nullptr : FindTypeInfo(L"_" + class_name_);
  }

  ULONG refs_ = 0;
  Ref<Object> object_;
  Enumerator* enumerator_ = nullptr;
  std::wstring class_name_;
  bool runtime_class_ = false;
  IID interface_iid_ = GUID_NULL;
  IID events_iid_ = GUID_NULL;
  std::unique_ptr<DualFaceBase> dual_;  // delegates its references to this
};

// Arguments in the call order the frame expects: IDispatch passes them
// reversed, with a property put's value as the one named argument at index 0.
HRESULT ComObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excep, UINT* arg_err) {
  EnterLibrary();
  if (arg_err) *arg_err = 0;
  if (!params) return E_POINTER;
  const UINT count = params->cArgs;
  const UINT named = params->cNamedArgs;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (named > 1 || (named == 1 && (!put || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))) {
    return DISP_E_NONAMEDARGS;
  }
  std::vector<VARIANT*> order;
  for (UINT i = count; i > named; --i) order.push_back(&params->rgvarg[i - 1]);
  if (named == 1) order.push_back(&params->rgvarg[0]);

  std::vector<Variant> locals(order.size());
  std::vector<Variant> before(order.size());
  std::vector<Arg> args;
  args.reserve(order.size());
  auto write_back = [&] {
    for (std::size_t i = 0; i < order.size(); ++i) {
      if ((order[i]->vt & VT_BYREF) && args[i].ref && !(locals[i] == before[i])) {
        WriteBack(locals[i], *order[i]);
      }
    }
  };
  try {
    for (std::size_t i = 0; i < order.size(); ++i) {
      const VARIANT& v = *order[i];
      if (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) {
        args.push_back(Arg::Omitted());
      } else if (v.vt & VT_BYREF) {
        locals[i] = FromVariant(v);
        before[i] = locals[i];
        args.push_back(Arg::ByRef(locals[i]));
      } else {
        args.push_back(Arg::ByVal(FromVariant(v)));
      }
    }
    Variant answer = object_->Invoke(id, flags, args);
    write_back();
    if (result) {
      VariantInit(result);
      ToVariant(answer, result);
    }
    return S_OK;
  } catch (...) {
    try {
      if (args.size() == order.size()) write_back();
    } catch (...) {
    }
    return ReportCurrentException(excep, interface_iid_);
  }
}

}  // namespace

IDispatch* Wrap(Object* object) {
  if (!object) return nullptr;
  if (IDispatch* client = ClientDispatchOf(object)) {
    client->AddRef();
    return client;
  }
  std::lock_guard lock(WrapperMutex());
  auto& map = Wrappers();
  auto it = map.find(object);
  if (it != map.end()) {
    it->second->AddRef();
    return static_cast<IDispatch*>(it->second);
  }
  auto* wrapper = new ComObject(RefTo(object));
  wrapper->AddRef();
  map[object] = wrapper;
  return static_cast<IDispatch*>(wrapper);
}

Ref<Object> Unwrap(IUnknown* unknown) {
  if (!unknown) return nullptr;
  IDispatch* ours = nullptr;
  if (FAILED(unknown->QueryInterface(kIidFrameObject, reinterpret_cast<void**>(&ours)))) {
    return nullptr;
  }
  Ref<Object> object = RefTo(static_cast<ComObject*>(ours)->object());
  ours->Release();
  return object;
}

HRESULT ReportCurrentException(EXCEPINFO* excep, const IID& iid) {
  std::int32_t number = rt::kInvalidProcedureCall;
  UString source = kRuntimeErrorSource;
  UString description;
  try {
    throw;
  } catch (const AutomationError& e) {
    number = e.number();
    source = e.source();
    description = e.description();
  } catch (const std::bad_alloc&) {
    number = rt::kOutOfMemory;
  } catch (...) {
    number = 51;  // "Internal error": an exception the library did not mean to raise
  }
  if (description.empty()) description = StandardErrorText(number);
  const HRESULT scode = HresultFromErrorNumber(number);

  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(reinterpret_cast<const wchar_t*>(source.c_str())));
    create->SetDescription(
        const_cast<LPOLESTR>(reinterpret_cast<const wchar_t*>(description.c_str())));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  if (!excep) return scode;
  std::memset(excep, 0, sizeof *excep);
  excep->bstrSource = ToBstr(source);
  excep->bstrDescription = ToBstr(description);
  excep->scode = scode;
  return DISP_E_EXCEPTION;
}

}  // namespace keystrel::com
