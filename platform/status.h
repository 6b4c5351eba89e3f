// Errors inside the platform layer: a small value type carried by the stores
// and providers, translated to a Win32 result in exactly one place
// (Win32FromStatus) at the edge of the registry functions.
//
// Thread safety: values; copy freely.
#ifndef KEYSTREL_PLATFORM_STATUS_H_
#define KEYSTREL_PLATFORM_STATUS_H_

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace keystrel::platform {

// Categories the registry functions can answer with. Detail goes in the
// message, which is for logs and test failures only.
enum class StatusCode {
  kOk,
  kNotFound,             // no such key or value
  kAccessDenied,         // rights, grants, protected keys, keys with subkeys
  kInvalidHandle,        // unknown, closed or refused root handles
  kOutOfMemory,
  kBadNetPath,           // unknown computer
  kInvalidParameter,     // names too long, bad arguments
  kBadPathname,          // a path that starts with a backslash
  kMoreData,             // a path longer than the platform converts
  kNoMoreItems,          // enumeration past the end
  kNoAccess,             // unreadable caller memory
  kBadDb,                // not a registry database, or of an unknown version
  kCantOpen,             // the registry file cannot be opened
  kCantRead,
  kCantWrite,            // read-only or full file
  kRegistryCorrupt,      // the file's structure is damaged
  kIoFailed,             // I/O failed or the file stayed locked
  kKeyDeleted,           // the key behind a handle has been deleted
  kChildMustBeVolatile,  // lasting key under a volatile one
  kRetry,                // internal: the cache went stale mid-call; run it again
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  explicit Status(StatusCode code, std::string message = {})
      : code_(code), message_(std::move(message)) {}

  bool ok() const { return code_ == StatusCode::kOk; }
  StatusCode code() const { return code_; }
  const std::string& message() const { return message_; }

  static Status NotFound(std::string m = {}) { return Status(StatusCode::kNotFound, std::move(m)); }
  static Status AccessDenied(std::string m = {}) {
    return Status(StatusCode::kAccessDenied, std::move(m));
  }
  static Status InvalidParameter(std::string m = {}) {
    return Status(StatusCode::kInvalidParameter, std::move(m));
  }
  static Status KeyDeleted() { return Status(StatusCode::kKeyDeleted); }

 private:
  StatusCode code_ = StatusCode::kOk;
  std::string message_;
};

// A value or the error that prevented it (modelled on absl::StatusOr).
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status status) : state_(std::move(status)) {}  // NOLINT
  Result(StatusCode code) : state_(Status(code)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  const T& value() const& { return std::get<0>(state_); }
  T& value() & { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  Status status() const { return ok() ? Status() : std::get<1>(state_); }
  StatusCode code() const { return ok() ? StatusCode::kOk : std::get<1>(state_).code(); }

 private:
  std::variant<T, Status> state_;
};

// The one translation from a platform status to the Win32 result number.
std::int32_t Win32FromStatus(StatusCode code);
inline std::int32_t Win32FromStatus(const Status& status) { return Win32FromStatus(status.code()); }

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_STATUS_H_
