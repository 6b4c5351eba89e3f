#include <array>
#include <string>
#include <vector>

#include "tools/keystrel/cli.h"
#include "tools/keystrel/command_line.h"
#include "tools/keystrel/commands.h"
#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

struct Command {
  std::u16string_view name;
  int (*run)(Context&, Args);
};

constexpr std::array<Command, 8> kCommands = {{
    {u"QUERY", RunQuery},
    {u"ADD", RunAdd},
    {u"DELETE", RunDelete},
    {u"COPY", RunCopy},
    {u"EXPORT", RunExport},
    {u"IMPORT", RunImport},
    {u"COMPARE", RunCompare},
    {u"GRANT", RunGrant},
}};

}  // namespace

void PrintLine(std::ostream& out, std::u16string_view text) {
  out << Utf16ToUtf8(text) << "\r\n";
}

int PrintError(Context& ctx, std::string_view message) {
  ctx.io.out.flush();
  ctx.io.err << "ERROR: " << message << "\r\n";
  ctx.io.err.flush();
  return kExitFailure;
}

int PrintSyntaxError(Context& ctx, std::string_view message) {
  PrintError(ctx, message);
  ctx.io.err << "Type \"KEYSTREL " << Utf16ToUtf8(ctx.command) << (ctx.command.empty() ? "" : " ")
             << "/?\" for usage.\r\n";
  return kExitFailure;
}

int PrintRegistryError(Context& ctx, LONG code) {
  return PrintError(ctx, DescribeError(code, ctx.registry.codec()));
}

void PrintSuccess(Context& ctx) { ctx.io.out << "The operation completed successfully.\r\n"; }

bool Confirm(Context& ctx, std::u16string_view prompt) {
  for (;;) {
    ctx.io.out << Utf16ToUtf8(prompt);
    ctx.io.out.flush();
    std::string answer;
    if (!std::getline(ctx.io.in, answer)) {
      ctx.io.out << "\r\n";
      return false;
    }
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    const std::u16string a = Utf8ToUtf16(answer);
    if (EqualsIgnoreCase(a, u"yes") || EqualsIgnoreCase(a, u"y")) return true;
    if (EqualsIgnoreCase(a, u"no") || EqualsIgnoreCase(a, u"n")) return false;
  }
}

int Canceled(Context& ctx) {
  ctx.io.out << "The operation was canceled by the user.\r\n";
  return kExitFailure;
}

bool ParseKey(Context& ctx, std::u16string_view text, KeySyntax syntax, KeyArgument* key) {
  Status s = ParseKeyArgument(text, syntax, key);
  if (s.ok()) return true;
  PrintSyntaxError(ctx, s.message());
  return false;
}

int RunKeystrel(std::span<const std::string> args, Io& io) {
  PlatformAnsiCodec codec;
  Registry registry(codec);
  Context ctx{io, registry, u""};
  std::vector<std::u16string> wide;
  wide.reserve(args.size());
  for (const std::string& arg : args) wide.push_back(Utf8ToUtf16(arg));

  if (wide.empty()) return PrintSyntaxError(ctx);
  if (IsHelpSwitch(wide[0]) || wide[0] == u"--help") {
    io.out << HelpText(u"");
    return kExitSuccess;
  }
  for (const Command& command : kCommands) {
    if (!EqualsIgnoreCase(wide[0], command.name)) continue;
    ctx.command = command.name;
    Args rest(wide.data() + 1, wide.size() - 1);
    if (!rest.empty() && (IsHelpSwitch(rest[0]) || rest[0] == u"--help")) {
      io.out << HelpText(command.name);
      return kExitSuccess;
    }
    const int rc = command.run(ctx, rest);
    io.out.flush();
    return rc;
  }
  return PrintSyntaxError(ctx, "Invalid syntax. Unknown operation '" + args[0] + "'.");
}

}  // namespace keystrel::cli
