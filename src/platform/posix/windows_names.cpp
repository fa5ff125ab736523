// Windows' rules on names: listing masks and the ends of names.
#include "platform/posix/windows_names.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace platform::posix {
namespace {

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Mask characters as Windows reads them: "?" also matches nothing before a dot or at the
// end ("a?.txt" matches "a.txt"); "*" followed by "." stops at the name's last dot; a "."
// followed by "?", "*" or the end also matches the end of a name ("*." matches names
// without an extension, "x.*" matches "x").
enum : char { kAnyRun = 1, kRunToLastDot, kOneOrNone, kDotOrEnd };

std::string ReadMask(const std::string& mask) {
  std::string out;
  for (size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i], next = i + 1 < mask.size() ? mask[i + 1] : 0;
    if (c == '?')
      out += kOneOrNone;
    else if (c == '*')
      out += next == '.' ? kRunToLastDot : kAnyRun;
    else if (c == '.' && (next == '?' || next == '*' || next == 0))
      out += kDotOrEnd;
    else
      out += c;
  }
  return out;
}

}  // namespace

// The positions of the name that the mask so far can have reached, step by step: no
// backtracking, at most (mask length x name length) steps.
bool MaskMatches(const std::string& name, const std::string& mask) {
  if (mask == "*" || mask == "*.*") return true;
  const size_t n = name.size(), lastDot = name.rfind('.');
  std::vector<char> at(n + 1, 0), next(n + 1);
  at[0] = 1;
  for (const char m : ReadMask(mask)) {
    std::fill(next.begin(), next.end(), 0);
    size_t filled = 0;  // runs fill forward; positions below this are set already
    for (size_t j = 0; j <= n; ++j) {
      if (!at[j]) continue;
      switch (m) {
        case kAnyRun:
        case kRunToLastDot: {
          const size_t stop =
              m == kRunToLastDot && lastDot != std::string::npos && lastDot >= j ? lastDot : n;
          for (size_t k = std::max(j, filled); k <= stop; ++k) next[k] = 1;
          filled = std::max(filled, stop + 1);
          break;
        }
        case kOneOrNone:
          next[j == n || name[j] == '.' ? j : j + 1] = 1;
          break;
        case kDotOrEnd:
          if (j == n)
            next[j] = 1;
          else if (name[j] == '.')
            next[j + 1] = 1;
          break;
        default:
          if (j < n && Lower(name[j]) == Lower(m)) next[j + 1] = 1;
      }
    }
    at.swap(next);
  }
  return at[n] != 0;
}

void DropTrailing(std::string& name, bool last) {
  if (name.find_first_not_of('.') == std::string::npos) return;
  if (!last && name.back() == '.')
    name.pop_back();
  else if (last)
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
}

}  // namespace platform::posix
