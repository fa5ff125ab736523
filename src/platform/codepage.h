// The system's 8-bit code page: Windows-1252 in the native build, the ANSI code
// page of the machine in the Windows build. Conversions go through UTF-16 code
// units, so that the UTF-8 coding on top of them is the same in both builds.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Each character of the text as UTF-16 code units.
std::u16string AnsiToWide(std::string_view text);

// The text in the code page. A character the code page does not hold becomes "?"
// (no best-fit lookalikes: both builds give the same bytes, and a lookalike such
// as a full-width "<" never turns into markup or a path separator). Each half
// of a surrogate pair is a "?" of its own, as the Windows conversion gives it.
std::string WideToAnsi(std::u16string_view text);
// As WideToAnsi; false when a character had no place in the code page (it is
// "?" in ansi then), so that the text is not what was given.
bool WideToAnsiExact(std::u16string_view text, std::string& ansi);

}  // namespace platform
