// Shared by the command implementations: what a command gets, and the
// messages every command prints the same way.
#ifndef KEYSTREL_TOOLS_KEYSTREL_COMMANDS_H_
#define KEYSTREL_TOOLS_KEYSTREL_COMMANDS_H_

#include <span>
#include <string>
#include <string_view>

#include "tools/keystrel/cli.h"
#include "tools/keystrel/key_path.h"
#include "tools/keystrel/registry_access.h"

namespace keystrel::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitDifferent = 2;

struct Context {
  Io& io;
  const Registry& registry;
  std::u16string_view command;  // upper case, for "Type "KEYSTREL ADD /?""
};

using Args = std::span<const std::u16string>;

int RunQuery(Context& ctx, Args args);
int RunAdd(Context& ctx, Args args);
int RunDelete(Context& ctx, Args args);
int RunCopy(Context& ctx, Args args);
int RunExport(Context& ctx, Args args);
int RunImport(Context& ctx, Args args);
int RunCompare(Context& ctx, Args args);
int RunGrant(Context& ctx, Args args);

// The help text of `command` ("" for the tool itself), CR LF line ends.
std::string HelpText(std::u16string_view command);

// One output line (UTF-8, CR LF).
void PrintLine(std::ostream& out, std::u16string_view text);
// "ERROR: <message>" on stderr; returns kExitFailure.
int PrintError(Context& ctx, std::string_view message);
// "ERROR: Invalid syntax." (or `message`) and the usage hint; kExitFailure.
int PrintSyntaxError(Context& ctx, std::string_view message = "Invalid syntax.");
// The registry result `code` as an error; kExitFailure.
int PrintRegistryError(Context& ctx, LONG code);
void PrintSuccess(Context& ctx);
// Writes `prompt` and reads an answer; true for Yes/Y (any case). The end of
// the input counts as No.
bool Confirm(Context& ctx, std::u16string_view prompt);
// Prints "The operation was canceled by the user." and returns kExitFailure.
int Canceled(Context& ctx);

// Parses a key argument, printing the reg.exe error on failure.
bool ParseKey(Context& ctx, std::u16string_view text, KeySyntax syntax, KeyArgument* key);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_COMMANDS_H_
