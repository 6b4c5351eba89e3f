// The module basZqbrCommonA: the routines that reach the maker's shared
// library ZqBedrock10 for the About box and for reporting an error that
// happens while showing it.
//
// ZqBedrock10 lies outside this library. Its two classes are created by
// programmatic identifier and called by member name (late-bound); nothing they
// return or assign to a by-reference argument is read back.
//
// Thread safety: runs on the caller's thread with that thread's application
// object; the maker's objects live only for one call.
#ifndef KEYSTREL_HOST_ZQBR_COMMON_H_
#define KEYSTREL_HOST_ZQBR_COMMON_H_

#include "frame/error.h"
#include "frame/ustring.h"

namespace keystrel::zqbr_common {

// The maker's About box: created by this identifier, called by this name with
// the application object.
inline constexpr char16_t kAboutProgId[] = u"ZqBedrock10.clsZqBedrock10A";
inline constexpr char16_t kAboutMember[] = u"AppAboutZqbr";

// The maker's error report.
inline constexpr char16_t kErrorHandlerProgId[] = u"ZqBedrock10.clsZqbrErrorHandlerA";
inline constexpr char16_t kErrorHandlerMember[] = u"ErrorHandlerMessageZq";

// The procedure name the About routine gives its error reports.
inline constexpr char16_t kAboutProcedure[] = u"basZqbrCommonA.AppAboutZqbr_Pro";

// Shows the maker's About box: creates "ZqBedrock10.clsZqBedrock10A" and calls
// its AppAboutZqbr with the application object. A failure of any step
// (creation, the call through a reference that holds no object, an error the
// About box raises) is reported through ReportError with kAboutProcedure, and
// the routine goes on with the next step. Raises only what a report raises:
// an error while handling an error is not caught again.
void AppAboutZqbr();

// The maker's error report: creates "ZqBedrock10.clsZqbrErrorHandlerA" and
// calls ErrorHandlerMessageZq with eight arguments: the application object
// and an error object describing `error` (both by reference), "" and
// `procedure` (by reference), 0, "", 0 (by reference) and the missing marker
// (by value). Has no handler of its own: a failure to create the class or an
// error the report raises reaches the caller unchanged.
void ReportError(const AutomationError& error, const UString& procedure);

}  // namespace keystrel::zqbr_common

#endif  // KEYSTREL_HOST_ZQBR_COMMON_H_
