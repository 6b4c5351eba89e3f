// The harness's COM objects share one shape: IDispatch answered by name from
// a table the object keeps, arguments handed over in call order (not
// IDispatch's reverse order), and failures turned into an EXCEPINFO a script
// can read. Objects count towards DllCanUnloadNow.
//
// Thread safety: apartment-threaded; the harness runs on the script's thread.
#ifndef KEYSTREL_COM_HARNESS_DISPATCH_OBJECT_H_
#define KEYSTREL_COM_HARNESS_DISPATCH_OBJECT_H_

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <span>
#include <string>

namespace keystrel::harness {

// Objects and server locks alive in the DLL.
std::atomic<long>& LiveCount();

// A failure a harness member reports to its caller as an automation error.
struct HarnessFault {
  std::wstring description;
};

// A call the harness made for the script failed: its error goes on to the
// script as it came, so the script sees what a direct call would have given.
struct PassedOnError {
  HRESULT scode;
  std::wstring source;
  std::wstring description;
};

class DispatchObject : public IDispatch {
 public:
  DispatchObject();
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override;

 protected:
  virtual ~DispatchObject();

  // DISPID_UNKNOWN when the object has no such member.
  virtual DISPID IdOfName(const std::wstring& name) = 0;
  // `args` in call order, each as the caller passed it (possibly VT_BYREF).
  // Returns DISP_E_MEMBERNOTFOUND for an identifier it does not know; may
  // throw HarnessFault.
  virtual HRESULT Call(DISPID id, WORD flags, std::span<VARIANT*> args, VARIANT* result) = 0;
  // Further interfaces answered with this IDispatch (an event interface).
  virtual bool AlsoAnswers(REFIID) { return false; }

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace keystrel::harness

#endif  // KEYSTREL_COM_HARNESS_DISPATCH_OBJECT_H_
