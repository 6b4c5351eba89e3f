// Command-line arguments in reg.exe's style: the positional arguments first,
// then switches that start with "/" or "-", case-insensitive, each at most
// once, some with a value.
#ifndef KEYSTREL_TOOLS_KEYSTREL_COMMAND_LINE_H_
#define KEYSTREL_TOOLS_KEYSTREL_COMMAND_LINE_H_

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/keystrel/status.h"

namespace keystrel::cli {

enum class SwitchValue {
  kNone,      // /s
  kRequired,  // /v name: the next argument, whatever it looks like
  kOptional,  // /v [name]: the next argument unless it is a switch of the command
};

struct SwitchSpec {
  std::u16string_view name;  // lower case, without the "/": u"ve", u"reg:32"
  SwitchValue value;
};

class Arguments {
 public:
  std::vector<std::u16string> positionals;

  bool Has(std::u16string_view name) const { return switches_.count(std::u16string(name)) != 0; }
  // The switch's value; nullptr when the switch is absent or has none.
  const std::u16string* Value(std::u16string_view name) const;
  size_t SwitchCount() const { return switches_.size(); }

 private:
  friend Status ParseArguments(std::span<const std::u16string>, size_t,
                               std::span<const SwitchSpec>, Arguments*);
  std::map<std::u16string, std::pair<bool, std::u16string>> switches_;
};

// "/?", "-?", "/h", "-h" in any case.
bool IsHelpSwitch(std::u16string_view arg);

// Takes `positional_count` positional arguments, then switches from `specs`.
// Too few positionals, unknown or repeated switches, a missing value and
// "/reg:32" with "/reg:64" fail (the caller prints "Invalid syntax.").
Status ParseArguments(std::span<const std::u16string> args, size_t positional_count,
                      std::span<const SwitchSpec> specs, Arguments* out);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_COMMAND_LINE_H_
