// keystrel add, delete and copy.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "tools/keystrel/command_line.h"
#include "tools/keystrel/commands.h"
#include "tools/keystrel/unicode.h"
#include "tools/keystrel/value_format.h"

namespace keystrel::cli {

namespace {

namespace p = keystrel::platform;

constexpr std::array<SwitchSpec, 8> kAddSwitches = {{
    {u"v", SwitchValue::kRequired},
    {u"ve", SwitchValue::kNone},
    {u"t", SwitchValue::kRequired},
    {u"s", SwitchValue::kRequired},
    {u"d", SwitchValue::kRequired},
    {u"f", SwitchValue::kNone},
    {u"reg:32", SwitchValue::kNone},
    {u"reg:64", SwitchValue::kNone},
}};

constexpr std::array<SwitchSpec, 6> kDeleteSwitches = {{
    {u"v", SwitchValue::kRequired},
    {u"ve", SwitchValue::kNone},
    {u"va", SwitchValue::kNone},
    {u"f", SwitchValue::kNone},
    {u"reg:32", SwitchValue::kNone},
    {u"reg:64", SwitchValue::kNone},
}};

constexpr std::array<SwitchSpec, 4> kCopySwitches = {{
    {u"s", SwitchValue::kNone},
    {u"f", SwitchValue::kNone},
    {u"reg:32", SwitchValue::kNone},
    {u"reg:64", SwitchValue::kNone},
}};

bool ValueExists(const Registry& registry, HKEY key, std::u16string_view name) {
  RegValue value;
  return registry.QueryValue(key, name, &value) == p::ERROR_SUCCESS;
}

// Whether `inner` is `outer` or lies below it, judged by the names as given.
bool SameOrBelow(const KeyArgument& inner, const KeyArgument& outer) {
  if (!EqualsIgnoreCase(inner.machine, outer.machine) || inner.root != outer.root) return false;
  if (outer.subkey.empty()) return true;
  if (inner.subkey.size() < outer.subkey.size()) return false;
  if (!EqualsIgnoreCase(std::u16string_view(inner.subkey).substr(0, outer.subkey.size()),
                        outer.subkey)) {
    return false;
  }
  return inner.subkey.size() == outer.subkey.size() || inner.subkey[outer.subkey.size()] == u'\\';
}

class Copier {
 public:
  Copier(Context& ctx, bool recurse, bool force) : ctx_(ctx), recurse_(recurse), force_(force) {}

  // Copies the values (and with /s the subkeys) of `source` into `dest`.
  LONG Copy(HKEY source, HKEY dest) {
    LONG rc = CopyValues(source, dest);
    if (rc != p::ERROR_SUCCESS || !recurse_) return rc;
    // The names are taken before anything is created, so a copy can never
    // walk into keys it has just made.
    std::vector<std::u16string> children;
    for (DWORD i = 0;; ++i) {
      std::u16string name;
      rc = ctx_.registry.EnumSubkey(source, i, &name);
      if (rc == p::ERROR_NO_MORE_ITEMS) break;
      if (rc != p::ERROR_SUCCESS) return rc;
      children.push_back(std::move(name));
    }
    for (const std::u16string& name : children) {
      KeyHandle from, to;
      rc = ctx_.registry.OpenChild(source, name, p::KEY_READ, &from);
      if (rc == p::ERROR_SUCCESS) rc = ctx_.registry.Create(dest, name, &to);
      if (rc == p::ERROR_SUCCESS) rc = Copy(from.get(), to.get());
      if (rc != p::ERROR_SUCCESS) return rc;
    }
    return p::ERROR_SUCCESS;
  }

 private:
  LONG CopyValues(HKEY source, HKEY dest) {
    for (DWORD i = 0;; ++i) {
      RegValue value;
      LONG rc = ctx_.registry.EnumValue(source, i, &value);
      if (rc == p::ERROR_NO_MORE_ITEMS) return p::ERROR_SUCCESS;
      if (rc != p::ERROR_SUCCESS) return rc;
      if (!force_ && ValueExists(ctx_.registry, dest, value.name) &&
          !Confirm(ctx_, u"Value " + value.name + u" exists, overwrite(Yes/No)? ")) {
        continue;  // declined: that value keeps its data, the copy goes on
      }
      rc = ctx_.registry.SetValue(dest, value.name, value.type, value.data);
      if (rc != p::ERROR_SUCCESS) return rc;
    }
  }

  Context& ctx_;
  bool recurse_;
  bool force_;
};

}  // namespace

int RunAdd(Context& ctx, Args args) {
  Arguments a;
  if (!ParseArguments(args, 1, kAddSwitches, &a).ok()) return PrintSyntaxError(ctx);
  if (a.Has(u"v") && a.Has(u"ve")) return PrintSyntaxError(ctx);
  KeyArgument key;
  if (!ParseKey(ctx, a.positionals[0], KeySyntax::kAdd, &key)) return kExitFailure;

  std::uint32_t type = kRegSz;
  if (a.Has(u"t")) {
    const std::optional<std::uint32_t> t = ParseTypeName(*a.Value(u"t"));
    if (!t.has_value()) {
      return PrintSyntaxError(ctx, "Invalid syntax. Unsupported data type '" +
                                       Utf16ToUtf8(*a.Value(u"t")) + "'.");
    }
    type = *t;
  }
  std::optional<char16_t> separator;
  if (a.Has(u"s")) {
    if (type != kRegMultiSz || a.Value(u"s")->size() != 1) return PrintSyntaxError(ctx);
    separator = (*a.Value(u"s"))[0];
  }
  std::vector<std::uint8_t> data;
  Status s = ParseAddData(type, a.Value(u"d"), separator, &data);
  if (!s.ok()) return PrintSyntaxError(ctx, s.message());
  const std::u16string name = a.Has(u"v") ? *a.Value(u"v") : u"";

  KeyHandle root, handle;
  LONG rc = ctx.registry.Root(key, &root);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Create(root.get(), key.subkey, &handle);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  if (!a.Has(u"f") && ValueExists(ctx.registry, handle.get(), name) &&
      !Confirm(ctx, u"Value " + name + u" exists, overwrite(Yes/No)? ")) {
    return Canceled(ctx);
  }
  rc = ctx.registry.SetValue(handle.get(), name, type, data);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  PrintSuccess(ctx);
  return kExitSuccess;
}

int RunDelete(Context& ctx, Args args) {
  Arguments a;
  if (!ParseArguments(args, 1, kDeleteSwitches, &a).ok()) return PrintSyntaxError(ctx);
  if (a.Has(u"v") + a.Has(u"ve") + a.Has(u"va") > 1) return PrintSyntaxError(ctx);
  KeyArgument key;
  if (!ParseKey(ctx, a.positionals[0], KeySyntax::kLenient, &key)) return kExitFailure;
  const bool force = a.Has(u"f");
  const std::u16string path = key.FullPath();

  KeyHandle root, handle;
  LONG rc = ctx.registry.Root(key, &root);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);

  if (!a.Has(u"v") && !a.Has(u"ve") && !a.Has(u"va")) {
    // Deleting a whole root would wipe every key under it.
    if (key.IsRoot()) return PrintError(ctx, "A root key cannot be deleted.");
    rc = ctx.registry.Open(root.get(), key.subkey, p::KEY_READ, &handle);
    if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
    handle.Reset();
    if (!force && !Confirm(ctx, u"Permanently delete the registry key " + path + u" (Yes/No)? ")) {
      return Canceled(ctx);
    }
    rc = ctx.registry.DeleteTree(root.get(), key.subkey);
    if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
    PrintSuccess(ctx);
    return kExitSuccess;
  }

  rc = ctx.registry.Open(root.get(), key.subkey, p::KEY_READ | p::KEY_SET_VALUE, &handle);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  if (a.Has(u"va")) {
    if (!force &&
        !Confirm(ctx, u"Delete all values under the registry key " + path + u" (Yes/No)? ")) {
      return Canceled(ctx);
    }
    rc = ctx.registry.DeleteAllValues(handle.get());
  } else {
    const std::u16string name = a.Has(u"v") ? *a.Value(u"v") : u"";
    if (!ValueExists(ctx.registry, handle.get(), name)) {
      return PrintRegistryError(ctx, p::ERROR_FILE_NOT_FOUND);
    }
    const std::u16string shown = name.empty() ? u"(Default)" : name;
    if (!force && !Confirm(ctx, u"Delete the registry value " + shown + u" (Yes/No)? ")) {
      return Canceled(ctx);
    }
    rc = ctx.registry.DeleteValue(handle.get(), name);
  }
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  PrintSuccess(ctx);
  return kExitSuccess;
}

int RunCopy(Context& ctx, Args args) {
  Arguments a;
  if (!ParseArguments(args, 2, kCopySwitches, &a).ok()) return PrintSyntaxError(ctx);
  KeyArgument from, to;
  if (!ParseKey(ctx, a.positionals[0], KeySyntax::kLenient, &from) ||
      !ParseKey(ctx, a.positionals[1], KeySyntax::kLenient, &to)) {
    return kExitFailure;
  }
  if (SameOrBelow(to, from) && SameOrBelow(from, to)) {
    return PrintError(ctx, "The source and destination keys cannot be the same.");
  }
  if (a.Has(u"s") && SameOrBelow(to, from)) {
    return PrintError(ctx, "The destination key cannot lie inside the source key.");
  }
  KeyHandle from_root, to_root, source, dest;
  LONG rc = ctx.registry.Root(from, &from_root);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Open(from_root.get(), from.subkey, p::KEY_READ, &source);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Root(to, &to_root);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Create(to_root.get(), to.subkey, &dest);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  Copier copier(ctx, a.Has(u"s"), a.Has(u"f"));
  rc = copier.Copy(source.get(), dest.get());
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  PrintSuccess(ctx);
  return kExitSuccess;
}

}  // namespace keystrel::cli
