#include "tools/keystrel/key_path.h"

#include <array>

#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

constexpr std::array<RootInfo, 6> kRoots = {{
    {u"HKEY_CLASSES_ROOT", u"HKCR", 0x80000000u, false},
    {u"HKEY_CURRENT_USER", u"HKCU", 0x80000001u, false},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", 0x80000002u, true},
    {u"HKEY_USERS", u"HKU", 0x80000003u, true},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", 0x80000005u, false},
    {u"HKEY_DYN_DATA", u"", 0x80000006u, false},
}};

Status InvalidKeyName() { return Status::Fail("Invalid key name."); }

}  // namespace

const RootInfo* FindRoot(std::u16string_view name, bool allow_abbreviation) {
  for (const RootInfo& root : kRoots) {
    if (EqualsIgnoreCase(name, root.long_name)) return &root;
    if (allow_abbreviation && !root.abbreviation.empty() &&
        EqualsIgnoreCase(name, root.abbreviation)) {
      return &root;
    }
  }
  return nullptr;
}

std::u16string KeyArgument::FullPath() const {
  std::u16string path;
  if (!machine.empty()) path = u"\\\\" + machine + u"\\";
  path += root->long_name;
  if (!subkey.empty()) path += u"\\" + subkey;
  return path;
}

Status ParseKeyArgument(std::u16string_view text, KeySyntax syntax, KeyArgument* out) {
  *out = KeyArgument();
  if (text.starts_with(u"\\\\")) {
    text.remove_prefix(2);
    const size_t end = text.find(u'\\');
    if (end == 0 || end == std::u16string_view::npos) return InvalidKeyName();
    out->machine = std::u16string(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (text.empty() || text.front() == u'\\') return InvalidKeyName();
  const size_t sep = text.find(u'\\');
  const std::u16string_view root_name = text.substr(0, sep);
  // HKEY_DYN_DATA is a .reg file name only; the command line has the five roots.
  const RootInfo* root = FindRoot(root_name, true);
  if (root == nullptr || root->abbreviation.empty()) return InvalidKeyName();
  if (!out->machine.empty() && !root->remote) return InvalidKeyName();
  out->root = root;
  if (sep == std::u16string_view::npos) return Status::Ok();
  std::u16string_view rest = text.substr(sep + 1);
  if (rest.empty()) {
    return syntax == KeySyntax::kAdd ? InvalidKeyName() : Status::Ok();
  }
  if (rest.ends_with(u"\\\\")) return InvalidKeyName();
  if (rest.ends_with(u'\\')) rest.remove_suffix(1);
  if (rest.empty() || rest.front() == u'\\') return InvalidKeyName();
  out->subkey = std::u16string(rest);
  return Status::Ok();
}

}  // namespace keystrel::cli
