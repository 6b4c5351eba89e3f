// keystrel compare: values and subkeys of two keys, reg.exe's = < > lines.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tools/keystrel/command_line.h"
#include "tools/keystrel/commands.h"
#include "tools/keystrel/unicode.h"
#include "tools/keystrel/value_format.h"

namespace keystrel::cli {

namespace {

namespace p = keystrel::platform;

constexpr std::array<SwitchSpec, 9> kSwitches = {{
    {u"v", SwitchValue::kRequired},
    {u"ve", SwitchValue::kNone},
    {u"oa", SwitchValue::kNone},
    {u"od", SwitchValue::kNone},
    {u"os", SwitchValue::kNone},
    {u"on", SwitchValue::kNone},
    {u"s", SwitchValue::kNone},
    {u"reg:32", SwitchValue::kNone},
    {u"reg:64", SwitchValue::kNone},
}};

struct CompareOptions {
  bool show_differences = true;
  bool show_matches = false;
  bool recurse = false;
  const std::u16string* value_name = nullptr;  // /v or /ve: that value only
};

class Comparer {
 public:
  Comparer(Context& ctx, const CompareOptions& options) : ctx_(ctx), options_(options) {}

  LONG CompareKeys(HKEY a, const std::u16string& path_a, HKEY b, const std::u16string& path_b) {
    if (options_.value_name != nullptr) return CompareOne(a, path_a, b, path_b, *options_.value_name);
    LONG rc = CompareValues(a, path_a, b, path_b);
    if (rc != p::ERROR_SUCCESS) return rc;
    std::vector<std::u16string> keys_a, keys_b;
    if ((rc = SubkeyNames(a, &keys_a)) != p::ERROR_SUCCESS) return rc;
    if ((rc = SubkeyNames(b, &keys_b)) != p::ERROR_SUCCESS) return rc;
    size_t i = 0, j = 0;
    while (i < keys_a.size() || j < keys_b.size()) {
      const int order = i == keys_a.size()   ? 1
                        : j == keys_b.size() ? -1
                                             : CompareIgnoreCase(keys_a[i], keys_b[j]);
      if (order < 0) {
        Report(u'<', u"Key: " + path_a + u"\\" + keys_a[i++]);
      } else if (order > 0) {
        Report(u'>', u"Key: " + path_b + u"\\" + keys_b[j++]);
      } else {
        Report(u'=', u"Key: " + path_a + u"\\" + keys_a[i]);
        if (options_.recurse) {
          KeyHandle child_a, child_b;
          rc = ctx_.registry.OpenChild(a, keys_a[i], p::KEY_READ, &child_a);
          if (rc == p::ERROR_SUCCESS) rc = ctx_.registry.OpenChild(b, keys_b[j], p::KEY_READ, &child_b);
          if (rc == p::ERROR_SUCCESS) {
            rc = CompareKeys(child_a.get(), path_a + u"\\" + keys_a[i], child_b.get(),
                             path_b + u"\\" + keys_b[j]);
          }
          if (rc != p::ERROR_SUCCESS) return rc;
        }
        ++i;
        ++j;
      }
    }
    return p::ERROR_SUCCESS;
  }

  bool different() const { return different_; }

 private:
  void Report(char16_t mark, const std::u16string& text) {
    if (mark != u'=') different_ = true;
    if (mark == u'=' ? options_.show_matches : options_.show_differences) {
      PrintLine(ctx_.io.out, std::u16string(1, mark) + u" " + text);
    }
  }

  std::u16string ValueText(const std::u16string& path, const RegValue& v) const {
    return u"Value: " + path + u"  " + (v.name.empty() ? u"(Default)" : v.name) + u"  " +
           std::u16string(TypeName(v.type)) + u"  " + FormatData(v.type, v.data);
  }

  LONG CompareOne(HKEY a, const std::u16string& path_a, HKEY b, const std::u16string& path_b,
                  const std::u16string& name) {
    RegValue va, vb;
    const LONG ra = ctx_.registry.QueryValue(a, name, &va);
    const LONG rb = ctx_.registry.QueryValue(b, name, &vb);
    if (ra != p::ERROR_SUCCESS && ra != p::ERROR_FILE_NOT_FOUND) return ra;
    if (rb != p::ERROR_SUCCESS && rb != p::ERROR_FILE_NOT_FOUND) return rb;
    if (ra != p::ERROR_SUCCESS && rb != p::ERROR_SUCCESS) return p::ERROR_FILE_NOT_FOUND;
    Pair(ra == p::ERROR_SUCCESS ? &va : nullptr, path_a, rb == p::ERROR_SUCCESS ? &vb : nullptr,
         path_b);
    return p::ERROR_SUCCESS;
  }

  void Pair(const RegValue* va, const std::u16string& path_a, const RegValue* vb,
            const std::u16string& path_b) {
    if (va != nullptr && vb != nullptr && va->type == vb->type && va->data == vb->data) {
      Report(u'=', ValueText(path_a, *va));
      return;
    }
    if (va != nullptr) Report(u'<', ValueText(path_a, *va));
    if (vb != nullptr) Report(u'>', ValueText(path_b, *vb));
  }

  // Key 1's values in its order, then the values only key 2 has.
  LONG CompareValues(HKEY a, const std::u16string& path_a, HKEY b, const std::u16string& path_b) {
    for (DWORD i = 0;; ++i) {
      RegValue va, vb;
      LONG rc = ctx_.registry.EnumValue(a, i, &va);
      if (rc == p::ERROR_NO_MORE_ITEMS) break;
      if (rc != p::ERROR_SUCCESS) return rc;
      rc = ctx_.registry.QueryValue(b, va.name, &vb);
      if (rc != p::ERROR_SUCCESS && rc != p::ERROR_FILE_NOT_FOUND) return rc;
      Pair(&va, path_a, rc == p::ERROR_SUCCESS ? &vb : nullptr, path_b);
    }
    for (DWORD i = 0;; ++i) {
      RegValue vb, va;
      LONG rc = ctx_.registry.EnumValue(b, i, &vb);
      if (rc == p::ERROR_NO_MORE_ITEMS) break;
      if (rc != p::ERROR_SUCCESS) return rc;
      rc = ctx_.registry.QueryValue(a, vb.name, &va);
      if (rc == p::ERROR_FILE_NOT_FOUND) Report(u'>', ValueText(path_b, vb));
      else if (rc != p::ERROR_SUCCESS) return rc;
    }
    return p::ERROR_SUCCESS;
  }

  LONG SubkeyNames(HKEY key, std::vector<std::u16string>* names) {
    for (DWORD i = 0;; ++i) {
      std::u16string name;
      const LONG rc = ctx_.registry.EnumSubkey(key, i, &name);
      if (rc == p::ERROR_NO_MORE_ITEMS) break;
      if (rc != p::ERROR_SUCCESS) return rc;
      names->push_back(std::move(name));
    }
    std::sort(names->begin(), names->end(),
              [](const auto& x, const auto& y) { return CompareIgnoreCase(x, y) < 0; });
    return p::ERROR_SUCCESS;
  }

  Context& ctx_;
  const CompareOptions& options_;
  bool different_ = false;
};

}  // namespace

int RunCompare(Context& ctx, Args args) {
  Arguments a;
  if (!ParseArguments(args, 2, kSwitches, &a).ok()) return PrintSyntaxError(ctx);
  if (a.Has(u"v") && a.Has(u"ve")) return PrintSyntaxError(ctx);
  if (a.Has(u"oa") + a.Has(u"od") + a.Has(u"os") + a.Has(u"on") > 1) return PrintSyntaxError(ctx);
  KeyArgument key_a, key_b;
  if (!ParseKey(ctx, a.positionals[0], KeySyntax::kLenient, &key_a)) return kExitFailure;
  std::u16string second = a.positionals[1];
  // "\\Machine" alone: the first key's path on that computer.
  if (second.starts_with(u"\\\\") && second.find(u'\\', 2) == std::u16string::npos) {
    KeyArgument local = key_a;
    local.machine.clear();
    second += u"\\" + local.FullPath();
  }
  if (!ParseKey(ctx, second, KeySyntax::kLenient, &key_b)) return kExitFailure;

  CompareOptions o;
  o.recurse = a.Has(u"s");
  o.show_matches = a.Has(u"oa") || a.Has(u"os");
  o.show_differences = !a.Has(u"os") && !a.Has(u"on");
  const std::u16string empty;
  if (a.Has(u"v")) o.value_name = a.Value(u"v");
  if (a.Has(u"ve")) o.value_name = &empty;

  KeyHandle root_a, root_b, handle_a, handle_b;
  LONG rc = ctx.registry.Root(key_a, &root_a);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Open(root_a.get(), key_a.subkey, p::KEY_READ, &handle_a);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Root(key_b, &root_b);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Open(root_b.get(), key_b.subkey, p::KEY_READ, &handle_b);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);

  Comparer comparer(ctx, o);
  rc = comparer.CompareKeys(handle_a.get(), key_a.FullPath(), handle_b.get(), key_b.FullPath());
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);
  ctx.io.out << "\r\nResult Compared: " << (comparer.different() ? "Different" : "Identical")
             << "\r\n";
  PrintSuccess(ctx);
  return comparer.different() ? kExitDifferent : kExitSuccess;
}

}  // namespace keystrel::cli
