#include "progress.h"

#include <cstdio>
#include <utility>

#include "platform/clock.h"
#include "platform/system.h"

namespace ilds {
namespace {

constexpr uint32_t kDelayMs = 1000;  // short runs show nothing
constexpr uint32_t kRedrawMs = 200;

}  // namespace

std::string FormatBytes(uint64_t bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
}

ProgressLine::ProgressLine(std::string verb)
    : verb_(std::move(verb)),
      terminal_(platform::StandardErrorIsTerminal()),
      start_(platform::Tick()) {}

ProgressLine::~ProgressLine() {
  Finish();
}

void ProgressLine::Update(uint64_t done, uint64_t total) {
  if (!terminal_) return;
  const uint32_t now = platform::Tick();
  if (now - start_ < kDelayMs || (shown_ && now - last_ < kRedrawMs)) return;
  last_ = now;
  shown_ = true;
  const int percent = total ? static_cast<int>(done * 100 / total) : 100;
  std::fprintf(stderr, "\r%s %3d%%  %s of %s   ", verb_.c_str(), percent, FormatBytes(done).c_str(),
               FormatBytes(total).c_str());
  std::fflush(stderr);
}

void ProgressLine::Finish() {
  if (!shown_) return;
  shown_ = false;
  std::fprintf(stderr, "\r%*s\r", 60, "");
  std::fflush(stderr);
}

}  // namespace ilds
