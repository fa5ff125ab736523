// Server replies on any bytes, read as the mail client reads them. The first
// byte sets the size of each received piece (1 to 256 bytes); the rest are the
// bytes the server sent, one reply after another.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/smtp_client.h"

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = size_t{data[0]} + 1;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  support::SmtpReply reply;
  while (!input.empty()) {
    const std::string_view received = input.substr(0, piece);
    input.remove_prefix(received.size());
    const support::SmtpReply::Status status = reply.Add(received);
    const std::string& line = reply.Line();
    const std::string& full = reply.Full();
    // Memory stays bounded, and the last line is the end of what arrived.
    if (full.size() > support::SmtpReply::kMaxFull + piece) __builtin_trap();
    if (reply.Code() < 0 || reply.Code() > 999) __builtin_trap();
    if (status == support::SmtpReply::kMore) {
      if (line.size() >= support::SmtpReply::kMaxLine || !EndsWith(full, line)) __builtin_trap();
      continue;
    }
    if (status == support::SmtpReply::kComplete) {
      if (!EndsWith(full, line + "\r\n")) __builtin_trap();
      support::AuthMechanisms(full);
      support::CramMd5Answer(line, "user", "secret");
    }
    reply.Clear();
  }
  return 0;
}
