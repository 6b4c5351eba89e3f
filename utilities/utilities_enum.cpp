// Listing the value names and subkey names of the addressed section into
// 1-based string arrays.
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "frame/error.h"
#include "platform/ansi.h"
#include "utilities/internal/platform_access.h"
#include "utilities/utilities.h"

namespace keystrel {

using namespace ::keystrel::utilities_detail;  // NOLINT(build/namespaces)

namespace {

// Section names are read into a buffer of this many characters; a name that
// needs more (with its NUL) ends the listing.
constexpr DWORD kSectionBufferLength = 255;

// The longest value name the platform allows (16,383 characters) at two bytes
// each, as a multi-byte code page may need, and its NUL.
constexpr DWORD kLongestValueNameBytes = 16383 * 2 + 1;

// The caller's array emptied: a string array with no storage.
void ReleaseNames(SafeArray& names, std::int32_t& count) {
  count = 0;
  names = SafeArray(VarType::kString);
}

// Appends `name` as element `count` + 1, growing the array from 1.
void Append(SafeArray& names, std::int32_t& count, UString name) {
  names.Redim(1, count + 1, true);
  ++count;
  names.Set(count, VStr(std::move(name)));
}

}  // namespace

bool UtilitesA::EnumerateValues(SafeArray& sKeyNames, std::int32_t& iKeyCount) {
  ReleaseNames(sKeyNames, iKeyCount);
  KeyHandle key;
  if (key.Open(class_key_, section_key_, kQueryAccess) != ERROR_SUCCESS) return true;
  char no_class[1] = {'\0'};
  DWORD class_length = 0;
  DWORD subkeys = 0, longest_subkey = 0, longest_class = 0, values = 0;
  DWORD longest_name = 0, longest_data = 0, security = 0;
  FILETIME written{};
  if (RegQueryInfoKeyA(key.get(), no_class, &class_length, nullptr, &subkeys, &longest_subkey,
                       &longest_class, &values, &longest_name, &longest_data, &security,
                       &written) != ERROR_SUCCESS) {
    return true;
  }
  std::vector<char> name;
  for (DWORD index = 0;; ++index) {
    name.assign(longest_name + 1, '\0');
    DWORD length = static_cast<DWORD>(name.size());
    LONG rc =
        RegEnumValueA(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) {
      // The longest length is counted in characters; in a multi-byte code
      // page the name can need more bytes than that. Ending the walk here
      // would silently drop this name and every one after it.
      name.assign(kLongestValueNameBytes, '\0');
      length = static_cast<DWORD>(name.size());
      rc =
          RegEnumValueA(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != ERROR_SUCCESS) break;
    Append(sKeyNames, iKeyCount, FromAnsi(std::string_view(name.data(), length)));
  }
  return true;
}

bool UtilitesA::EnumerateSections(SafeArray& sSect, std::int32_t& iSectCount) {
  KeyHandle key;
  try {
    ReleaseNames(sSect, iSectCount);
    if (key.Open(class_key_, section_key_, KEY_ENUMERATE_SUB_KEYS) != ERROR_SUCCESS) return true;
    char buffer[kSectionBufferLength];
    for (DWORD index = 0;; ++index) {
      std::fill(std::begin(buffer), std::end(buffer), '\0');
      if (RegEnumKeyA(key.get(), index, buffer, kSectionBufferLength) != ERROR_SUCCESS) break;
      const std::string_view text(buffer, kSectionBufferLength);
      Append(sSect, iSectCount, FromAnsi(text.substr(0, text.find('\0'))));
    }
  } catch (const AutomationError& e) {
    key.Close();
    RaiseError(kEnumerationFailure, ErrorSource(), e.description());
  } catch (const std::bad_alloc&) {
    key.Close();
    RaiseError(kEnumerationFailure, ErrorSource(), StandardErrorText(rt::kOutOfMemory));
  }
  return true;
}

}  // namespace keystrel
