#include "tools/conformance/internal/registry_reading.h"

#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/ansi.h"
#include "tools/conformance/value_text.h"

namespace keystrel::conformance::detail {
namespace {

constexpr const char* kRootNames[] = {
    "HKEY_CLASSES_ROOT",
    "HKEY_CURRENT_USER",
    "HKEY_LOCAL_MACHINE",
    "HKEY_USERS",
    "HKEY_CURRENT_CONFIG",
    "HKCR",
    "HKCU",
    "HKLM",
    "HKU",
    "HKCC",
};

void CheckKeyPath(const std::string& path, const std::string& pointer) {
  std::size_t slash = path.find('\\');
  UString root = Utf8ToU(path.substr(0, slash));
  bool known = false;
  for (const char* r : kRootNames) known = known || TextEquals(root, Utf8ToU(r));
  if (!known)
    Fail(pointer,
         "a key path starts with a root name (HKCU, HKEY_LOCAL_MACHINE, ...): " + Quote(path));
  if (slash == std::string::npos) return;
  std::string_view rest = std::string_view(path).substr(slash + 1);
  if (rest.empty() || rest.front() == '\\' || rest.back() == '\\' ||
      rest.find("\\\\") != std::string_view::npos) {
    Fail(pointer, "a key path has no empty key names: " + Quote(path));
  }
}

std::vector<std::uint8_t> AnsiWithNul(const std::string& utf8) {
  std::string ansi = platform::ToAnsi(Utf8ToU(utf8));
  std::vector<std::uint8_t> out(ansi.begin(), ansi.end());
  out.push_back(0);
  return out;
}

RegValueSpec ParseData(const Json& j, const std::string& pointer) {
  RegValueSpec v;
  v.pointer = pointer;
  v.text = Dump(j);
  Object(j, pointer, "DATA");
  auto hex = [&](const Json& h, const std::string& p) {
    std::optional<std::vector<std::uint8_t>> bytes = ParseHexBytes(Text(h, p, "the bytes"));
    if (!bytes) Fail(p, "not pairs of hex digits: " + Dump(h));
    return *bytes;
  };
  if (j.contains("type")) {
    OnlyMembers(j, pointer, {"type", "hex"}, "{\"type\": N, \"hex\": ...}");
    if (!j.contains("hex")) Fail(pointer, "{\"type\": N} needs \"hex\"");
    v.type = static_cast<std::uint32_t>(
        IntegerIn(j["type"], Child(pointer, "type"), 0, 0xFFFFFFFFll, "a value type"));
    v.bytes = hex(j["hex"], Child(pointer, "hex"));
    return v;
  }
  if (j.size() != 1)
    Fail(pointer, "DATA has exactly one of sz, expand_sz, multi_sz, dword, binary");
  const std::string key = j.begin().key();
  const Json& arg = j.begin().value();
  const std::string p = Child(pointer, key);
  if (key == "sz" || key == "expand_sz") {
    v.type = key == "sz" ? 1 : 2;
    v.bytes = AnsiWithNul(Text(arg, p, "the text"));
  } else if (key == "multi_sz") {
    v.type = 7;
    List(arg, p, "multi_sz");
    for (std::size_t i = 0; i < arg.size(); ++i) {
      std::vector<std::uint8_t> item = AnsiWithNul(Text(arg[i], Child(p, i), "an item"));
      v.bytes.insert(v.bytes.end(), item.begin(), item.end());
    }
    // The closing NUL; an empty list is two NULs, as the platform writes it.
    if (arg.empty()) v.bytes.push_back(0);
    v.bytes.push_back(0);
  } else if (key == "dword") {
    v.type = 4;
    auto d = static_cast<std::uint32_t>(
        IntegerIn(arg, p, std::numeric_limits<std::int32_t>::min(), 0xFFFFFFFFll, "a dword"));
    for (int i = 0; i < 4; ++i) v.bytes.push_back(static_cast<std::uint8_t>(d >> (8 * i)));
  } else if (key == "binary") {
    v.type = 3;
    v.bytes = hex(arg, p);
  } else {
    Fail(p,
         "unknown DATA form " + Quote(key) + " (sz, expand_sz, multi_sz, dword, binary, type+hex)");
  }
  return v;
}

std::uint32_t ParseGrant(const Json& j, const std::string& pointer) {
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    if (s == "read") return 0x20019;
    if (s == "query") return 1;
    if (s == "none") return 0;
    if (s == "all") return 0xF003F;
    Fail(pointer, "a grant is a number or \"read\", \"query\", \"none\", \"all\", not " + Dump(j));
  }
  return static_cast<std::uint32_t>(IntegerIn(j, pointer, 0, 0xFFFFFFFFll, "a grant"));
}

}  // namespace

RegistrySpec ParseRegistry(const Json& j, const std::string& pointer, bool after) {
  Object(j, pointer, "a registry");
  RegistrySpec out;
  for (auto it = j.begin(); it != j.end(); ++it) {
    RegKeySpec key;
    key.pointer = Child(pointer, it.key());
    key.label = it.key();
    key.path = Utf8ToU(it.key());
    CheckKeyPath(it.key(), key.pointer);
    if (it.value().is_null()) {
      if (!after) Fail(key.pointer, "a seed cannot map a key to null");
      key.is_null = true;
      out.push_back(std::move(key));
      continue;
    }
    const Json& values = Object(it.value(), key.pointer, "a key");
    for (auto v = values.begin(); v != values.end(); ++v) {
      const std::string vp = Child(key.pointer, v.key());
      if (v.key() == "@grant") {
        key.grant = ParseGrant(v.value(), vp);
      } else if (v.key() == "@exact") {
        if (!after) Fail(vp, "\"@exact\" belongs to registry_after only");
        if (!v.value().is_boolean()) Fail(vp, "\"@exact\" takes true or false");
        key.exact = v.value().get<bool>();
      } else if (!v.key().empty() && v.key()[0] == '@') {
        Fail(vp, "unknown key member " + Quote(v.key()) + " (@grant, @exact)");
      } else if (v.value().is_null()) {
        if (!after) Fail(vp, "a seed cannot map a value to null");
        RegValueSpec value;
        value.name = Utf8ToU(v.key());
        value.is_null = true;
        value.pointer = vp;
        value.text = "null";
        key.values.push_back(std::move(value));
      } else {
        RegValueSpec value = ParseData(v.value(), vp);
        value.name = Utf8ToU(v.key());
        key.values.push_back(std::move(value));
      }
    }
    out.push_back(std::move(key));
  }
  return out;
}

}  // namespace keystrel::conformance::detail
