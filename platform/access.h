// Access rights: how a requested mask maps to the rights a handle holds, and
// whether a key's grant allows them.
//
// Thread safety: pure functions.
#ifndef KEYSTREL_PLATFORM_ACCESS_H_
#define KEYSTREL_PLATFORM_ACCESS_H_

#include <cstdint>

namespace keystrel::platform {

inline constexpr std::uint32_t kAllKeyAccess = 0xF003F;     // KEY_ALL_ACCESS
inline constexpr std::uint32_t kDeleteRight = 0x10000;      // DELETE
inline constexpr std::uint32_t kMaximumAllowed = 0x02000000;

// A requested mask with generic rights mapped to the key rights they stand
// for and bits that mean nothing for keys (WOW64 view bits, undefined bits)
// dropped.
struct AccessRequest {
  std::uint32_t rights = 0;
  bool maximum_allowed = false;
  // Seeding by the administrator (admin.h): grants are not consulted.
  bool administrator = false;
};

AccessRequest MapDesiredAccess(std::uint32_t desired);

// The rights a handle gets when `request` opens a key granting `grant`;
// false when the grant refuses it (ERROR_ACCESS_DENIED).
bool GrantAccess(std::uint32_t grant, const AccessRequest& request, std::uint32_t* granted);

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_ACCESS_H_
