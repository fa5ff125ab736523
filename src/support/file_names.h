// How Windows reads one file name: the names it opens as devices, and what it
// drops from a name's end. One rule for every name setup writes or compares:
// installation folders, link names, archive entries, the lists of kept files.
#pragma once

#include <string>
#include <string_view>

namespace support {

// Whether Windows opens a device for this name (one name, no separator): CON,
// PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9, also with the superscript
// digits 1-3 of Windows-1252 (which Windows takes as device numbers), in any
// case, whatever follows the first dot and with blanks before it dropped
// ("nul.txt", "CON .log", "COM\xB9.", "aux. ").
bool IsDeviceName(std::string_view name);

// A relative path ("\" or "/" separated) as Windows finds its file: lower
// case, "\" separated, the last name without its trailing dots and blanks and
// the others without one trailing dot ("Slapd.Conf. " and "slapd.conf" are
// the same file, so are "schema.\x" and "schema\x"). Names of dots only stay.
std::string WindowsName(std::string_view path);

}  // namespace support
