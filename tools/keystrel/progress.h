// A one-line progress indication on a terminal ("Importing x.reg: 42%"),
// rewritten in place at most a few times a second and erased when done.
// Silent unless enabled, so output to files and pipes stays clean.
#ifndef KEYSTREL_TOOLS_KEYSTREL_PROGRESS_H_
#define KEYSTREL_TOOLS_KEYSTREL_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace keystrel::cli {

class Progress {
 public:
  Progress(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}
  ~Progress() { Done(); }

  // Shows `label` with done/total as a percentage (total 0: a plain count).
  void Update(const std::string& label, std::uint64_t done, std::uint64_t total) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    std::string text = label + ": " +
                       (total > 0 ? std::to_string(done * 100 / total) + "%"
                                  : std::to_string(done));
    const size_t width = text.size();
    if (text.size() < width_) text.append(width_ - text.size(), ' ');
    width_ = width;
    out_ << '\r' << text << std::flush;
    shown_ = true;
  }

  void Done() {
    if (!shown_) return;
    out_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    shown_ = false;
  }

 private:
  std::ostream& out_;
  bool enabled_;
  bool shown_ = false;
  size_t width_ = 0;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_PROGRESS_H_
