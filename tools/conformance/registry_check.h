// Checking a case's registry after its last step, and the wording of a
// difference, for any registry that answers as the ANSI registry functions
// do: the library's own store in-process, or the system's registry under the
// COM harness. Each says only how it opens, reads and unlocks a key.
//
// Thread safety: one check at a time per reader.
#ifndef KEYSTREL_TOOLS_CONFORMANCE_REGISTRY_CHECK_H_
#define KEYSTREL_TOOLS_CONFORMANCE_REGISTRY_CHECK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/ustring.h"
#include "tools/conformance/vector.h"

namespace keystrel::conformance {

struct RegistryFault {
  std::string pointer;  // the key or value in the vector
  std::string what;     // "key HKCU\A value \"x\""
  std::string expected;
  std::string actual;
};

// One key open at a time; every call but Open and Grant is on the open key.
class RegistryReader {
 public:
  virtual ~RegistryReader() = default;
  // The key's grant; nullopt when it cannot be told (then it is not checked).
  virtual std::optional<std::uint32_t> Grant(const UString& path) = 0;
  // Opens `path` ("HKCU\A\B") for reading: 0 or the registry's error.
  virtual std::int32_t Open(const UString& path) = 0;
  // Lets everyone read the key whose grant refused opening it.
  virtual void Unlock(const UString& path) = 0;
  virtual void Close() = 0;
  // As RegQueryValueExA and RegEnumValueA (name only) on the open key.
  virtual std::int32_t Query(const std::string& name, std::uint32_t* type, std::uint8_t* data,
                             std::uint32_t* size) = 0;
  virtual std::int32_t ValueName(std::uint32_t index, char* name, std::uint32_t* length) = 0;
};

// Every listed key and value as listed (see the vectors' "Checking the
// registry"); the first difference. A key whose grant refuses reading is
// unlocked, which is harmless because the case is over.
std::optional<RegistryFault> CheckRegistryWith(RegistryReader& reader, const RegistrySpec& spec);

// Wording shared with the seeding.
std::string KeyWhat(const RegKeySpec& key);
std::string ValueWhat(const RegKeySpec& key, const RegValueSpec& v);
std::string ResultText(std::int32_t rc);
// Stored data in the vectors' DATA notation, the most readable exact form.
std::string RenderData(std::uint32_t type, const std::vector<std::uint8_t>& bytes);

}  // namespace keystrel::conformance

#endif  // KEYSTREL_TOOLS_CONFORMANCE_REGISTRY_CHECK_H_
