// Status: the result of an operation of the tool, OK or a failure with the
// message a user reads. Cheap when OK; copyable.
#ifndef KEYSTREL_TOOLS_KEYSTREL_STATUS_H_
#define KEYSTREL_TOOLS_KEYSTREL_STATUS_H_

#include <string>
#include <utility>

namespace keystrel::cli {

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  // `message` is UTF-8, a sentence without the "ERROR: " prefix.
  static Status Fail(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

  // The same failure with `context` put in front ("file.reg: line 3: ...").
  Status WithContext(const std::string& context) const {
    return ok() ? *this : Fail(context + message_);
  }

 private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

  bool failed_ = false;
  std::string message_;
};

#define KEYSTREL_RETURN_IF_ERROR(expr)        \
  do {                                        \
    ::keystrel::cli::Status status_ = (expr); \
    if (!status_.ok()) return status_;        \
  } while (false)

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_STATUS_H_
