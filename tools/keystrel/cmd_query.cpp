// keystrel query: reg.exe's listing, one-value and search forms.
#include <array>
#include <optional>
#include <string>

#include "tools/keystrel/command_line.h"
#include "tools/keystrel/commands.h"
#include "tools/keystrel/unicode.h"
#include "tools/keystrel/value_format.h"
#include "tools/keystrel/wildcard.h"

namespace keystrel::cli {

namespace {

namespace p = keystrel::platform;

constexpr std::array<SwitchSpec, 14> kSwitches = {{
    {u"v", SwitchValue::kOptional},
    {u"ve", SwitchValue::kNone},
    {u"s", SwitchValue::kNone},
    {u"f", SwitchValue::kRequired},
    {u"k", SwitchValue::kNone},
    {u"d", SwitchValue::kNone},
    {u"c", SwitchValue::kNone},
    {u"e", SwitchValue::kNone},
    {u"t", SwitchValue::kRequired},
    {u"z", SwitchValue::kNone},
    {u"se", SwitchValue::kRequired},
    {u"reg:32", SwitchValue::kNone},
    {u"reg:64", SwitchValue::kNone},
    {u"oa", SwitchValue::kNone},  // never valid here; listed so "/oa" is a switch
}};

struct QueryOptions {
  bool recurse = false;
  bool numeric_type = false;
  std::u16string separator = u"\\0";
  std::optional<std::uint32_t> type;
  // One value: /v name or /ve.
  std::optional<std::u16string> value_name;
  // Search: /f pattern and where to look.
  bool search = false;
  std::u16string pattern = u"*";
  bool in_keys = true;
  bool in_names = true;
  bool in_data = true;
  bool case_sensitive = false;
  bool exact = false;
};

class Query {
 public:
  Query(Context& ctx, const QueryOptions& options) : ctx_(ctx), options_(options) {}

  int RunListing(HKEY key, const std::u16string& path) {
    ctx_.io.out << "\r\n";
    const LONG rc = ListKey(key, path, /*top=*/true);
    if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx_, rc);
    return kExitSuccess;
  }

  int RunOneValue(HKEY key, const std::u16string& path) {
    RegValue value;
    const LONG rc = ctx_.registry.QueryValue(key, *options_.value_name, &value);
    ctx_.io.out << "\r\n";
    PrintLine(ctx_.io.out, path);
    if (rc == p::ERROR_FILE_NOT_FOUND && options_.value_name->empty()) {
      PrintLine(ctx_.io.out, u"    (Default)    REG_SZ    (value not set)");
      ctx_.io.out << "\r\n";
      return kExitSuccess;
    }
    if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx_, rc);
    PrintValue(value);
    ctx_.io.out << "\r\n";
    return kExitSuccess;
  }

  int RunSearch(HKEY key, const std::u16string& path) {
    ctx_.io.out << "\r\n";
    const LONG rc = SearchKey(key, path);
    if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx_, rc);
    ctx_.io.out << "End of search: " << matches_ << " match(es) found.\r\n";
    return matches_ > 0 ? kExitSuccess : kExitFailure;
  }

 private:
  void PrintValue(const RegValue& value) {
    std::u16string line = u"    ";
    line += value.name.empty() ? u"(Default)" : value.name;
    line += u"    ";
    line += TypeName(value.type);
    if (options_.numeric_type) line += u" (" + Utf8ToUtf16(std::to_string(value.type)) + u")";
    line += u"    ";
    line += FormatData(value.type, value.data, options_.separator);
    PrintLine(ctx_.io.out, line);
  }

  // The values of `key` that pass the type filter, under a header line.
  LONG PrintValues(HKEY key, const std::u16string& path, bool header_always) {
    bool header = false;
    for (DWORD i = 0;; ++i) {
      RegValue value;
      const LONG rc = ctx_.registry.EnumValue(key, i, &value);
      if (rc == p::ERROR_NO_MORE_ITEMS) break;
      if (rc != p::ERROR_SUCCESS) return rc;
      if (options_.type.has_value() && value.type != *options_.type) continue;
      if (!header) {
        PrintLine(ctx_.io.out, path);
        header = true;
      }
      PrintValue(value);
    }
    if (!header && header_always) PrintLine(ctx_.io.out, path);
    if (header || header_always) ctx_.io.out << "\r\n";
    return p::ERROR_SUCCESS;
  }

  LONG ListKey(HKEY key, const std::u16string& path, bool top) {
    LONG rc = PrintValues(key, path, !top);
    if (rc != p::ERROR_SUCCESS) return rc;
    for (DWORD i = 0;; ++i) {
      std::u16string name;
      rc = ctx_.registry.EnumSubkey(key, i, &name);
      if (rc == p::ERROR_NO_MORE_ITEMS) return p::ERROR_SUCCESS;
      if (rc != p::ERROR_SUCCESS) return rc;
      const std::u16string child_path = path + u"\\" + name;
      if (!options_.recurse) {
        PrintLine(ctx_.io.out, child_path);
        continue;
      }
      KeyHandle child;
      rc = ctx_.registry.OpenChild(key, name, p::KEY_READ, &child);
      if (rc == p::ERROR_SUCCESS) rc = ListKey(child.get(), child_path, false);
      if (rc != p::ERROR_SUCCESS) return rc;
    }
  }

  bool Matches(std::u16string_view text) const {
    return WildcardMatch(options_.pattern, text, options_.case_sensitive, !options_.exact);
  }

  bool ValueMatches(const RegValue& value) const {
    if (options_.type.has_value() && value.type != *options_.type) return false;
    if (options_.value_name.has_value()) return EqualsIgnoreCase(value.name, *options_.value_name);
    if (options_.in_names && Matches(value.name)) return true;
    return options_.in_data && Matches(FormatData(value.type, value.data, options_.separator));
  }

  LONG SearchKey(HKEY key, const std::u16string& path) {
    bool header = false;
    for (DWORD i = 0;; ++i) {
      RegValue value;
      const LONG rc = ctx_.registry.EnumValue(key, i, &value);
      if (rc == p::ERROR_NO_MORE_ITEMS) break;
      if (rc != p::ERROR_SUCCESS) return rc;
      if (!ValueMatches(value)) continue;
      if (!header) {
        PrintLine(ctx_.io.out, path);
        header = true;
      }
      PrintValue(value);
      ++matches_;
    }
    if (header) ctx_.io.out << "\r\n";
    for (DWORD i = 0;; ++i) {
      std::u16string name;
      LONG rc = ctx_.registry.EnumSubkey(key, i, &name);
      if (rc == p::ERROR_NO_MORE_ITEMS) return p::ERROR_SUCCESS;
      if (rc != p::ERROR_SUCCESS) return rc;
      const std::u16string child_path = path + u"\\" + name;
      if (options_.in_keys && !options_.value_name.has_value() && !options_.type.has_value() &&
          Matches(name)) {
        PrintLine(ctx_.io.out, child_path);
        ++matches_;
      }
      if (!options_.recurse) continue;
      KeyHandle child;
      rc = ctx_.registry.OpenChild(key, name, p::KEY_READ, &child);
      if (rc == p::ERROR_SUCCESS) rc = SearchKey(child.get(), child_path);
      if (rc != p::ERROR_SUCCESS) return rc;
    }
  }

  Context& ctx_;
  const QueryOptions& options_;
  std::uint64_t matches_ = 0;
};

}  // namespace

int RunQuery(Context& ctx, Args args) {
  Arguments a;
  if (!ParseArguments(args, 1, kSwitches, &a).ok() || a.Has(u"oa")) return PrintSyntaxError(ctx);
  KeyArgument key;
  if (!ParseKey(ctx, a.positionals[0], KeySyntax::kLenient, &key)) return kExitFailure;

  QueryOptions o;
  o.recurse = a.Has(u"s");
  o.numeric_type = a.Has(u"z");
  o.search = a.Has(u"f");
  if (a.Has(u"v") && a.Has(u"ve")) return PrintSyntaxError(ctx);
  if ((a.Has(u"k") || a.Has(u"d") || a.Has(u"c") || a.Has(u"e")) && !o.search) {
    return PrintSyntaxError(ctx);
  }
  if (a.Has(u"v")) {
    if (a.Value(u"v") != nullptr) {
      o.value_name = *a.Value(u"v");
    } else if (o.search) {
      o.in_keys = o.in_data = false;  // /f with a bare /v: value names only
    } else {
      return PrintSyntaxError(ctx);
    }
  }
  if (a.Has(u"ve")) o.value_name = u"";
  if (o.value_name.has_value() && o.search) return PrintSyntaxError(ctx);
  if (o.search) {
    o.pattern = *a.Value(u"f");
    o.case_sensitive = a.Has(u"c");
    o.exact = a.Has(u"e");
    if (a.Has(u"k") || a.Has(u"d")) {
      o.in_keys = a.Has(u"k");
      o.in_data = a.Has(u"d");
      o.in_names = false;
    }
  }
  if (a.Has(u"t")) {
    o.type = ParseTypeName(*a.Value(u"t"));
    if (!o.type.has_value()) {
      return PrintSyntaxError(ctx, "Invalid syntax. Unsupported data type '" +
                                       Utf16ToUtf8(*a.Value(u"t")) + "'.");
    }
  }
  if (a.Has(u"se")) {
    if (a.Value(u"se")->size() != 1) return PrintSyntaxError(ctx);
    o.separator = *a.Value(u"se");
  }

  KeyHandle root;
  LONG rc = ctx.registry.Root(key, &root);
  KeyHandle handle;
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Open(root.get(), key.subkey, p::KEY_READ, &handle);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);

  Query query(ctx, o);
  const std::u16string path = key.FullPath();
  if (o.search || o.type.has_value() || (o.value_name.has_value() && o.recurse)) {
    return query.RunSearch(handle.get(), path);
  }
  if (o.value_name.has_value()) return query.RunOneValue(handle.get(), path);
  return query.RunListing(handle.get(), path);
}

}  // namespace keystrel::cli
