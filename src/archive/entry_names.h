// Entry names of an ILDS archive as the extractor uses them: separators, case and the names
// that are never written because they would land outside the destination folder.
#pragma once

#include <string>
#include <string_view>

namespace archive {

// The name with every "/" turned into "\".
std::string EntryPath(std::string_view name);

// True when DestDir + name stays below DestDir and names an ordinary file. Refused, for a
// name with "\" separators:
//  - a rooted name (leading "\", which also covers "\\server\share") or any ":" (a drive, or
//    an alternate data stream);
//  - an empty segment ("a\\b", a trailing "\"): a packer never writes one, and Windows would
//    fold it away, so that the name written and the name matched by the lists would differ;
//  - a segment made only of dots and blanks ("." , "..", "...", " "): Windows strips trailing
//    dots and blanks, so all of them name the folder itself or its parent;
//  - a device name as any segment (support::IsDeviceName, the rule of installation folders
//    too): CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with any extension;
//  - a NUL byte, which would cut the name short at the system call.
bool IsSafeEntryName(std::string_view name);

// Whether a list of names (";name;name;", as keep and filter lists are written) holds the
// entry name, both compared as Windows finds the file (support::WindowsName): an entry
// "slapd.conf." or "SLAPD.CONF " is the listed "slapd.conf", whose file it would replace.
bool ListHolds(std::string_view list, std::string_view name);

}  // namespace archive
