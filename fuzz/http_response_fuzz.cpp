// The HTTP response head parsing and redirect resolution on any bytes: the
// header block as the client cuts it, then its Location resolved against a
// plain and a secure URL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t end = input.find("\r\n\r\n");
  std::string_view block = end == std::string_view::npos ? input : input.substr(0, end + 4);
  const support::HttpResponseHead head = support::ParseResponseHead(block);
  if (head.status != 0 && (head.status < 100 || head.status > 999)) __builtin_trap();
  if (head.contentLength < support::kBadContentLength) __builtin_trap();
  if (head.cookie.find_first_of(";\r\n") != std::string::npos) __builtin_trap();
  if (head.location.find('\n') != std::string::npos) __builtin_trap();
  for (const char* from : {"http://h:81/a/b.html?x=1", "https://[::1]/a/"}) {
    support::HttpUrl current, next;
    if (!support::ParseHttpUrl(from, current)) __builtin_trap();
    const std::string url = support::ResolveRedirect(current, head.location);
    if (url.empty()) continue;
    // A redirect leads to a usable URL, never from https to http.
    if (!support::ParseHttpUrl(url, next) || (current.secure && !next.secure)) __builtin_trap();
    if (next.path.empty() || next.path[0] != '/') __builtin_trap();
    for (unsigned char c : next.path + next.host)
      if (c < 0x20 || c == 0x7F) __builtin_trap();
  }
  return 0;
}
