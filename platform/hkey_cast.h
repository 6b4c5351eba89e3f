// Key handles cross the automation boundary as 32-bit signed longs. These two
// casts are the only way between the two forms, on every build: a long widens
// with its sign (so 0x80000001 becomes the sign-extended HKEY_CURRENT_USER of
// 64-bit code) and an HKEY narrows to its low 32 bits.
#ifndef KEYSTREL_PLATFORM_HKEY_CAST_H_
#define KEYSTREL_PLATFORM_HKEY_CAST_H_

#include <cstdint>

namespace keystrel::platform {

inline HKEY HKeyFromLong(std::int32_t value) {
  return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(value));
}

inline std::int32_t LongFromHKey(HKEY key) {
  return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(key));
}

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_HKEY_CAST_H_
