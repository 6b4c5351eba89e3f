// keystrel grant: show or set the access grant of a key in the store.
#include <array>
#include <cstdint>
#include <string>

#include "platform/admin.h"
#include "tools/keystrel/command_line.h"
#include "tools/keystrel/commands.h"
#include "tools/keystrel/grant_rights.h"
#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

namespace p = keystrel::platform;

constexpr std::array<SwitchSpec, 1> kSwitches = {{{u"a", SwitchValue::kRequired}}};

}  // namespace

int RunGrant(Context& ctx, Args args) {
  Arguments a;
  if (!ParseArguments(args, 1, kSwitches, &a).ok()) return PrintSyntaxError(ctx);
  KeyArgument key;
  if (!ParseKey(ctx, a.positionals[0], KeySyntax::kLenient, &key)) return kExitFailure;
  std::uint32_t rights = 0;
  if (a.Has(u"a") && !ParseRights(*a.Value(u"a"), &rights)) {
    return PrintSyntaxError(ctx, "Invalid syntax. Unknown access rights '" +
                                     Utf16ToUtf8(*a.Value(u"a")) + "'.");
  }
  std::u16string path(key.root->long_name);
  if (!key.subkey.empty()) path += u"\\" + key.subkey;

  // The key must exist; the grant is a property of a key, not of a path.
  KeyHandle root, handle;
  LONG rc = ctx.registry.Root(key, &root);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Open(root.get(), key.subkey, 0, &handle);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  handle.Reset();

  if (a.Has(u"a")) {
    rc = p::AdminSetGrant(key.machine, path, rights);
    if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
    PrintSuccess(ctx);
    return kExitSuccess;
  }
  std::uint32_t grant = 0;
  rc = p::AdminGetGrant(key.machine, path, &grant);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  ctx.io.out << "\r\n";
  PrintLine(ctx.io.out, key.FullPath());
  PrintLine(ctx.io.out, u"    Grant    " + FormatRightsNumber(grant) + u"    " + DescribeRights(grant));
  ctx.io.out << "\r\n";
  return kExitSuccess;
}

}  // namespace keystrel::cli
