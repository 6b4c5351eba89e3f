// A stand-in for the maker's shared library ZqBedrock10, for hosts that want
// About to show something: its About box and its error report, both shown
// through the host's message box (frame/host.h ShowMessageBox; by default a
// line on standard error).
//
// Part of keystrel_host, but the library never registers it itself: where
// the maker's library is absent, About behaves as it does without it (429
// when neither class exists). A host opts in once, at start-up:
//   RegisterZqBedrockStandIn();
//   HostServices::Create()->About();   // box "About Keystrel10"
//
// Thread safety: registration is process-wide and may run on any thread; the
// objects are automation objects of the thread that creates them.
#ifndef KEYSTREL_HOST_ZQBEDROCK_H_
#define KEYSTREL_HOST_ZQBEDROCK_H_

#include <cstdint>

namespace keystrel {

// Message-box styles the stand-in uses.
inline constexpr std::int32_t kAboutBoxStyle = 64;  // information icon, OK button
inline constexpr std::int32_t kErrorBoxStyle = 16;  // critical icon, OK button

// Registers "ZqBedrock10.clsZqBedrock10A" and
// "ZqBedrock10.clsZqbrErrorHandlerA" for every thread of the process
// (per-thread registrations still take precedence).
//
// clsZqBedrock10A.AppAboutZqbr(app): a box titled "About " + app.Title whose
// text is the product name and version ("Keystrel10 1.0.0") and the file
// description, each on its own line. `app` must be an object (424 otherwise).
//
// clsZqbrErrorHandlerA.ErrorHandlerMessageZq(app, err, s, procedure, n, s, n,
// v): a box titled app.Title with "Error <number> in <procedure>", the
// description and "(<source>)" on three lines, read from `err` by name. Takes
// exactly eight arguments (450 otherwise); `app` and `err` must be objects.
//
// Either raises 438 for any other member.
void RegisterZqBedrockStandIn();

}  // namespace keystrel

#endif  // KEYSTREL_HOST_ZQBEDROCK_H_
