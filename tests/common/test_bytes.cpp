#include "common/test_bytes.h"

#include <random>

namespace test_bytes {

std::string Text(size_t length, unsigned seed) {
  static const char* const kWords[] = {"mail ",  "server ", "setup ",   "domain ", "account ",
                                       "queue ", "\r\n",    "archive ", "inbox ",  "folder "};
  std::mt19937 gen(seed);
  std::string s;
  s.reserve(length + 16);
  while (s.size() < length) s += kWords[gen() % 10];
  s.resize(length);
  return s;
}

std::string RandomBytes(size_t length, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(length, '\0');
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

std::string Hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

}  // namespace test_bytes
