#include "tools/keystrel/command_line.h"

#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

std::u16string Lower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 0x20);
  }
  return out;
}

const SwitchSpec* FindSwitch(std::u16string_view arg, std::span<const SwitchSpec> specs) {
  if (arg.size() < 2 || (arg[0] != u'/' && arg[0] != u'-')) return nullptr;
  const std::u16string name = Lower(arg.substr(1));
  for (const SwitchSpec& spec : specs) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

}  // namespace

const std::u16string* Arguments::Value(std::u16string_view name) const {
  auto it = switches_.find(std::u16string(name));
  if (it == switches_.end() || !it->second.first) return nullptr;
  return &it->second.second;
}

bool IsHelpSwitch(std::u16string_view arg) {
  const std::u16string lower = Lower(arg);
  return lower == u"/?" || lower == u"-?" || lower == u"/h" || lower == u"-h";
}

Status ParseArguments(std::span<const std::u16string> args, size_t positional_count,
                      std::span<const SwitchSpec> specs, Arguments* out) {
  const Status syntax = Status::Fail("Invalid syntax.");
  if (args.size() < positional_count) return syntax;
  out->positionals.assign(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(positional_count));
  for (size_t i = positional_count; i < args.size(); ++i) {
    const SwitchSpec* spec = FindSwitch(args[i], specs);
    if (spec == nullptr) return syntax;
    const std::u16string name(spec->name);
    if (out->switches_.count(name) != 0) return syntax;
    auto& entry = out->switches_[name];
    if (spec->value == SwitchValue::kRequired) {
      if (i + 1 >= args.size()) return syntax;
      entry = {true, args[++i]};
    } else if (spec->value == SwitchValue::kOptional && i + 1 < args.size() &&
               FindSwitch(args[i + 1], specs) == nullptr) {
      entry = {true, args[++i]};
    } else {
      entry = {false, u""};
    }
  }
  if (out->Has(u"reg:32") && out->Has(u"reg:64")) return syntax;
  return Status::Ok();
}

}  // namespace keystrel::cli
