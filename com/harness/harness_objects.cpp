#include "com/harness/harness_objects.h"

#include <functional>
#include <string>
#include <utility>

#include "com/harness/com_values.h"
#include "com/harness/dispatch_object.h"
#include "com/harness/session.h"
#include "frame/error.h"

namespace keystrel::harness {
namespace {

// The argument as the caller meant it: a variable passed by reference is
// read through.
const VARIANT& Plain(const VARIANT* v) {
  while (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  return *v;
}

const VARIANT* Nth(std::span<VARIANT*> args, std::size_t i, const wchar_t* member) {
  if (i >= args.size()) {
    throw HarnessFault{std::wstring(member) + L": argument " + std::to_wstring(i + 1) +
                       L" is missing"};
  }
  return args[i];
}

UString TextArg(std::span<VARIANT*> args, std::size_t i, const wchar_t* member) {
  VARIANT copy;
  VariantInit(&copy);
  if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&Plain(Nth(args, i, member))), 0,
                               VT_BSTR))) {
    throw HarnessFault{std::wstring(member) + L": argument " + std::to_wstring(i + 1) +
                       L" is not text"};
  }
  UString out = FromWide(copy.bstrVal, SysStringLen(copy.bstrVal));
  VariantClear(&copy);
  return out;
}

std::string NameArg(std::span<VARIANT*> args, std::size_t i, const wchar_t* member) {
  return UToUtf8(TextArg(args, i, member));
}

std::int64_t IntArg(std::span<VARIANT*> args, std::size_t i, const wchar_t* member) {
  VARIANT copy;
  VariantInit(&copy);
  if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&Plain(Nth(args, i, member))), 0,
                               VT_I4))) {
    throw HarnessFault{std::wstring(member) + L": argument " + std::to_wstring(i + 1) +
                       L" is not a number"};
  }
  return copy.lVal;
}

// Optional trailing arguments are Empty when left out.
Variant ValueArg(std::span<VARIANT*> args, std::size_t i) {
  if (i >= args.size()) return Variant();
  const VARIANT& v = Plain(args[i]);
  if (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) return Variant();
  try {
    return FromCom(v);
  } catch (const AutomationError& e) {
    throw HarnessFault{ToWide(Utf8ToU(std::string("a value the harness cannot hold: ") + e.what()))};
  }
}

void Return(const Variant& value, VARIANT* result) {
  if (result) ToCom(value, result);
}

void ReturnText(const std::string& text, VARIANT* result) { Return(Variant::String(Utf8ToU(text)), result); }

// Members by name, case-insensitive, dispatch identifier = index + 1.
template <std::size_t N>
DISPID FindName(const wchar_t* const (&names)[N], const std::wstring& name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (_wcsicmp(names[i], name.c_str()) == 0) return static_cast<DISPID>(i + 1);
  }
  return DISPID_UNKNOWN;
}

// ---------------------------------------------------------------------------

class Harness final : public DispatchObject {
 protected:
  DISPID IdOfName(const std::wstring& name) override { return FindName(kNames, name); }

  HRESULT Call(DISPID id, WORD, std::span<VARIANT*> args, VARIANT* result) override {
    Session& s = Session::Get();
    switch (id) {
      case 1: s.Load(ToWide(TextArg(args, 0, L"Load"))); return S_OK;
      case 2: Return(Variant::String(s.Begin(IntArg(args, 0, L"Begin"))), result); return S_OK;
      case 3: s.Name(NameArg(args, 0, L"Name"), ValueArg(args, 1)); return S_OK;
      case 4: s.Forget(NameArg(args, 0, L"Forget")); return S_OK;
      case 5: Return(s.Arg(NameArg(args, 0, L"Arg")), result); return S_OK;
      case 6:
        s.Step(NameArg(args, 0, L"Step"), static_cast<std::int32_t>(IntArg(args, 1, L"Step")),
               args.size() > 2 ? TextArg(args, 2, L"Step") : UString(),
               args.size() > 3 ? TextArg(args, 3, L"Step") : UString(), ValueArg(args, 4));
        return S_OK;
      case 7: s.Collect(ValueArg(args, 0)); return S_OK;
      case 8: s.Handles(NameArg(args, 0, L"Handles")); return S_OK;
      case 9: s.Sink(NameArg(args, 0, L"Sink")); return S_OK;
      case 10: Return(s.Recorder(NameArg(args, 0, L"Recorder")), result); return S_OK;
      case 11: {
        const VARIANT& r = Plain(Nth(args, 1, L"On"));
        s.On(NameArg(args, 0, L"On"), r.vt == VT_DISPATCH ? r.pdispVal : nullptr);
        return S_OK;
      }
      case 12: Return(s.EntryArg(IntArg(args, 0, L"EntryArg")), result); return S_OK;
      case 13: s.CheckLog(NameArg(args, 0, L"CheckLog")); return S_OK;
      case 14: ReturnText(s.Finish(), result); return S_OK;
      case 15: PutRef(args); return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  static constexpr const wchar_t* kNames[] = {
      L"Load",    L"Begin",    L"Name", L"Forget",   L"Arg",      L"Step",     L"Collect",
      L"Handles", L"Sink",     L"Recorder", L"On",   L"EntryArg", L"CheckLog", L"Finish",
      L"PutRef"};

  // PutRef(object, member, value): a property set by reference with any
  // value, which a script cannot make itself (its Set takes objects only).
  static void PutRef(std::span<VARIANT*> args) {
    const VARIANT& target = Plain(Nth(args, 0, L"PutRef"));
    if (target.vt != VT_DISPATCH || !target.pdispVal) {
      throw HarnessFault{L"PutRef: argument 1 is not an object"};
    }
    std::wstring member = ToWide(TextArg(args, 1, L"PutRef"));
    LPOLESTR name = member.data();
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = target.pdispVal->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw PassedOnError{hr, L"", L""};
    VARIANT value;
    VariantInit(&value);
    VariantCopy(&value, const_cast<VARIANT*>(&Plain(Nth(args, 2, L"PutRef"))));
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &put, 1, 1};
    EXCEPINFO excep{};
    hr = target.pdispVal->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF,
                                 &params, nullptr, &excep, nullptr);
    VariantClear(&value);
    if (hr == DISP_E_EXCEPTION) {
      if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
      PassedOnError e{excep.scode ? excep.scode : MAKE_HRESULT(1, 0x0A, excep.wCode),
                      excep.bstrSource ? excep.bstrSource : L"",
                      excep.bstrDescription
                          ? std::wstring(excep.bstrDescription, SysStringLen(excep.bstrDescription))
                          : std::wstring()};
      SysFreeString(excep.bstrSource);
      SysFreeString(excep.bstrDescription);
      SysFreeString(excep.bstrHelpFile);
      throw e;
    }
    if (FAILED(hr)) throw PassedOnError{hr, L"", L""};
  }
};

// The library's test seam creates this to hear its yields and boxes.
class HostHooks final : public DispatchObject {
 protected:
  DISPID IdOfName(const std::wstring& name) override { return FindName(kNames, name); }

  HRESULT Call(DISPID id, WORD, std::span<VARIANT*> args, VARIANT* result) override {
    Session& s = Session::Get();
    switch (id) {
      case 1:
        s.OnClientCall(s.generation(), u"yield", args);
        return S_OK;
      case 2:
        s.OnClientCall(s.generation(), u"msgbox", args);
        if (result) {
          result->vt = VT_I4;
          result->lVal = 1;  // OK
        }
        return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  static constexpr const wchar_t* kNames[] = {L"Yield", L"MessageBox"};
};

class RecorderObject final : public DispatchObject {
 public:
  RecorderObject(std::uint64_t generation, UString name,
                 std::optional<std::vector<UString>> methods)
      : generation_(generation), name_(std::move(name)), fixed_(methods.has_value()) {
    if (methods) members_ = std::move(*methods);
  }

 protected:
  DISPID IdOfName(const std::wstring& name) override {
    const UString u = FromWide(name.data(), name.size());
    for (std::size_t i = 0; i < members_.size(); ++i) {
      if (TextEquals(members_[i], u)) return static_cast<DISPID>(i + 1);
    }
    if (fixed_) return DISPID_UNKNOWN;
    members_.push_back(u);  // names are logged as first asked for
    return static_cast<DISPID>(members_.size());
  }

  HRESULT Call(DISPID id, WORD, std::span<VARIANT*> args, VARIANT*) override {
    // No default member and no enumerator: a recorder is only called by name.
    if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
    Session::Get().OnClientCall(generation_, name_ + u"." + members_[static_cast<std::size_t>(id - 1)],
                                args);
    return S_OK;
  }

 private:
  std::uint64_t generation_;
  UString name_;
  bool fixed_;
  std::vector<UString> members_;
};

class EventSinkObject final : public DispatchObject {
 public:
  EventSinkObject(std::uint64_t generation, UString name, const IID& iid,
                  std::map<DISPID, UString> events)
      : generation_(generation), name_(std::move(name)), iid_(iid), events_(std::move(events)) {}

 protected:
  bool AlsoAnswers(REFIID riid) override { return riid == iid_; }

  DISPID IdOfName(const std::wstring& name) override {
    const UString u = FromWide(name.data(), name.size());
    for (const auto& [id, event] : events_) {
      if (TextEquals(event, u)) return id;
    }
    return DISPID_UNKNOWN;
  }

  HRESULT Call(DISPID id, WORD, std::span<VARIANT*> args, VARIANT*) override {
    auto it = events_.find(id);
    // An event the interface does not declare is still logged, so the vector
    // shows it rather than losing it.
    const UString event = it != events_.end() ? it->second : u"#" + Utf8ToU(std::to_string(id));
    Session::Get().OnClientCall(generation_, name_ + u"." + event, args);
    return S_OK;
  }

 private:
  std::uint64_t generation_;
  UString name_;
  IID iid_;
  std::map<DISPID, UString> events_;
};

class Factory final : public IClassFactory {
 public:
  explicit Factory(std::function<IDispatch*()> make) : make_(std::move(make)) { ++LiveCount(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IDispatch* object = make_();
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++LiveCount();
    } else {
      --LiveCount();
    }
    return S_OK;
  }

 private:
  ~Factory() { --LiveCount(); }

  std::atomic<ULONG> refs_{1};
  std::function<IDispatch*()> make_;
};

}  // namespace

IDispatch* NewHarness() { return new Harness(); }
IDispatch* NewHostHooks() { return new HostHooks(); }

IDispatch* NewRecorder(std::uint64_t generation, UString name,
                       std::optional<std::vector<UString>> methods) {
  return new RecorderObject(generation, std::move(name), std::move(methods));
}

IDispatch* NewEventSink(std::uint64_t generation, UString name, const IID& events_iid,
                        std::map<DISPID, UString> events) {
  return new EventSinkObject(generation, std::move(name), events_iid, std::move(events));
}

IClassFactory* NewRecorderFactory(std::uint64_t generation, UString name) {
  return new Factory([generation, name] { return NewRecorder(generation, name, std::nullopt); });
}

IClassFactory* NewClassFactory(IDispatch* (*make)()) {
  return new Factory([make] { return make(); });
}

}  // namespace keystrel::harness
