#include "platform/status.h"

#include "platform/registry.h"

namespace keystrel::platform {

std::int32_t Win32FromStatus(StatusCode code) {
  switch (code) {
    case StatusCode::kOk: return ERROR_SUCCESS;
    case StatusCode::kNotFound: return ERROR_FILE_NOT_FOUND;
    case StatusCode::kAccessDenied: return ERROR_ACCESS_DENIED;
    case StatusCode::kInvalidHandle: return ERROR_INVALID_HANDLE;
    case StatusCode::kOutOfMemory: return ERROR_NOT_ENOUGH_MEMORY;
    case StatusCode::kBadNetPath: return ERROR_BAD_NETPATH;
    case StatusCode::kInvalidParameter: return ERROR_INVALID_PARAMETER;
    case StatusCode::kBadPathname: return ERROR_BAD_PATHNAME;
    case StatusCode::kMoreData: return ERROR_MORE_DATA;
    case StatusCode::kNoMoreItems: return ERROR_NO_MORE_ITEMS;
    case StatusCode::kNoAccess: return ERROR_NOACCESS;
    case StatusCode::kBadDb: return ERROR_BADDB;
    case StatusCode::kCantOpen: return ERROR_CANTOPEN;
    case StatusCode::kCantRead: return ERROR_CANTREAD;
    case StatusCode::kCantWrite: return ERROR_CANTWRITE;
    case StatusCode::kRegistryCorrupt: return ERROR_REGISTRY_CORRUPT;
    case StatusCode::kIoFailed: return ERROR_REGISTRY_IO_FAILED;
    case StatusCode::kKeyDeleted: return ERROR_KEY_DELETED;
    case StatusCode::kChildMustBeVolatile: return ERROR_CHILD_MUST_BE_VOLATILE;
    // A retry that escaped its loop means the store kept changing under us;
    // report it as the I/O failure it amounts to.
    case StatusCode::kRetry: return ERROR_REGISTRY_IO_FAILED;
  }
  return ERROR_REGISTRY_IO_FAILED;
}

}  // namespace keystrel::platform
