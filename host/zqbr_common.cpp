#include "host/zqbr_common.h"

#include <new>
#include <optional>
#include <vector>

#include "frame/dispatch.h"
#include "frame/host.h"
#include "frame/object.h"
#include "frame/variant.h"
#include "host/internal/error_object.h"

namespace keystrel::zqbr_common {

namespace {

// The error a failed step of the About routine hands to its handler. Errors
// that are no automation errors come from below the automation layer; the
// report still gets a number it can show.
AutomationError CurrentError() {
  try {
    throw;
  } catch (const AutomationError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return AutomationError(rt::kOutOfMemory, kRuntimeErrorSource,
                           StandardErrorText(rt::kOutOfMemory));
  } catch (...) {
    return AutomationError(rt::kInvalidProcedureCall, kRuntimeErrorSource,
                           StandardErrorText(rt::kInvalidProcedureCall));
  }
}

// Runs one step of the About routine under its error handler: on failure the
// error is reported and the routine continues. The report runs after the
// catch, so an error inside the report is not caught as the step's own and
// leaves the routine.
template <class Step>
void RunStep(Step step) {
  std::optional<AutomationError> failure;
  try {
    step();
  } catch (...) {
    failure = CurrentError();
  }
  if (failure) ReportError(*failure, kAboutProcedure);
}

}  // namespace

void AppAboutZqbr() {
  Ref<Object> about;
  Ref<Object> second;
  RunStep([&] { about = CreateObjectByProgId(kAboutProgId); });
  second = about;
  RunStep([&] {
    // A call through a reference that holds no object fails as the runtime's
    // does, and is reported like any other failure.
    if (!second) RaiseError(rt::kObjectVariableNotSet);
    std::vector<Arg> args;
    args.push_back(Arg::ByVal(Variant::Object(ApplicationObject())));
    InvokeByName(*second, kAboutMember, args);
  });
  // The second reference goes before the first.
  second.reset();
  about.reset();
}

void ReportError(const AutomationError& error, const UString& procedure) {
  Ref<Object> handler = CreateObjectByProgId(kErrorHandlerProgId);
  Ref<Object> second = handler;

  Variant app = Variant::Object(ApplicationObject());
  Variant err = Variant::Object(host_detail::ErrorObject::Create(error));
  Variant text3 = VStr(u"");
  Variant proc = VStr(procedure);
  Variant number5 = VLong(0);
  Variant text6 = VStr(u"");
  Variant number7 = VLong(0);
  std::vector<Arg> args;
  args.push_back(Arg::ByRef(app));
  args.push_back(Arg::ByRef(err));
  args.push_back(Arg::ByRef(text3));
  args.push_back(Arg::ByRef(proc));
  args.push_back(Arg::ByRef(number5));
  args.push_back(Arg::ByRef(text6));
  args.push_back(Arg::ByRef(number7));
  args.push_back(Arg::ByVal(Variant::Missing()));
  InvokeByName(*second, kErrorHandlerMember, args);

  second.reset();
  handler.reset();
}

}  // namespace keystrel::zqbr_common
