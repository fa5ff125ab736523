// The machine's ANSI code page through the Windows conversion functions.
#include "platform/codepage.h"

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// The conversion functions take int lengths; longer texts go in pieces.
constexpr std::size_t kPiece = 1u << 28;

}  // namespace

std::u16string AnsiToWide(std::string_view text) {
  std::u16string wide;
  for (std::size_t done = 0; done < text.size();) {
    std::size_t count = text.size() - done;
    if (count > kPiece) {
      // Cut after a byte below 0x40: it is neither half of a double-byte character.
      count = kPiece;
      for (std::size_t back = 0; back < 4096; ++back)
        if (static_cast<unsigned char>(text[done + kPiece - 1 - back]) < 0x40) {
          count = kPiece - back;
          break;
        }
    }
    const int in = static_cast<int>(count);
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data() + done, in, nullptr, 0);
    if (needed > 0) {
      const std::size_t at = wide.size();
      wide.resize(at + static_cast<std::size_t>(needed));
      MultiByteToWideChar(CP_ACP, 0, text.data() + done, in, reinterpret_cast<wchar_t*>(&wide[at]),
                          needed);
    }
    done += count;
  }
  return wide;
}

std::string WideToAnsi(std::u16string_view text) {
  std::string ansi;
  for (std::size_t done = 0; done < text.size();) {
    std::size_t count = text.size() - done;
    if (count > kPiece) {
      count = kPiece;
      const char16_t last = text[done + count - 1];
      if (last >= 0xD800 && last <= 0xDBFF) --count;  // keep a surrogate pair together
    }
    const auto* source = reinterpret_cast<const wchar_t*>(text.data() + done);
    const int in = static_cast<int>(count);
    // No best-fit lookalikes: a character outside the code page becomes the
    // default character "?", as in the native build.
    const int needed =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source, in, nullptr, 0, nullptr, nullptr);
    if (needed > 0) {
      const std::size_t at = ansi.size();
      ansi.resize(at + static_cast<std::size_t>(needed));
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source, in, &ansi[at], needed, nullptr,
                          nullptr);
    }
    done += count;
  }
  return ansi;
}

bool WideToAnsiExact(std::u16string_view text, std::string& ansi) {
  ansi.clear();
  if (text.empty()) return true;
  if (text.size() > kPiece) return false;
  const auto* source = reinterpret_cast<const wchar_t*>(text.data());
  const int in = static_cast<int>(text.size());
  // A UTF-8 code page holds every character but a lone surrogate, and takes
  // neither the best-fit flag nor the question whether the default was used.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* used = utf8 ? nullptr : &usedDefault;
  const int needed = WideCharToMultiByte(CP_ACP, flags, source, in, nullptr, 0, nullptr, used);
  if (needed <= 0) {
    ansi = WideToAnsi(text);
    return false;
  }
  ansi.resize(static_cast<std::size_t>(needed));
  WideCharToMultiByte(CP_ACP, flags, source, in, ansi.data(), needed, nullptr, used);
  return !usedDefault;
}

}  // namespace platform
