#include "platform/access.h"

namespace keystrel::platform {
namespace {

constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyWrite = 0x20006;

}  // namespace

AccessRequest MapDesiredAccess(std::uint32_t desired) {
  AccessRequest request;
  request.rights = desired & kAllKeyAccess;
  if (desired & kGenericRead) request.rights |= kKeyRead;
  if (desired & kGenericWrite) request.rights |= kKeyWrite;
  if (desired & kGenericExecute) request.rights |= kKeyRead;
  if (desired & kGenericAll) request.rights |= kAllKeyAccess;
  request.maximum_allowed = (desired & kMaximumAllowed) != 0;
  return request;
}

bool GrantAccess(std::uint32_t grant, const AccessRequest& request, std::uint32_t* granted) {
  if (request.administrator) {
    *granted = kAllKeyAccess;
    return true;
  }
  if ((request.rights & ~grant) != 0) return false;
  if (request.maximum_allowed) {
    // Asking for whatever is allowed still fails when nothing is.
    if ((grant & kAllKeyAccess) == 0) return false;
    *granted = grant & kAllKeyAccess;
    return true;
  }
  *granted = request.rights;
  return true;
}

}  // namespace keystrel::platform
