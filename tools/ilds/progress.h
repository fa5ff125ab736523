// The progress line on standard error: shown only when it is a terminal and the run has
// lasted a moment, redrawn a few times a second, erased at the end.
#pragma once

#include <cstdint>
#include <string>

namespace ilds {

class ProgressLine {
 public:
  explicit ProgressLine(std::string verb);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Update(uint64_t done, uint64_t total);
  void Finish();

 private:
  std::string verb_;
  bool terminal_;
  bool shown_ = false;
  uint32_t start_;
  uint32_t last_ = 0;
};

// "12.3 MiB"
std::string FormatBytes(uint64_t bytes);

}  // namespace ilds
