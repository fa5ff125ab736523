// Windows' rules for names, for the posix file ports: the mask of a directory listing and what
// Windows drops from the end of a path's names.
#pragma once

#include <string>

namespace platform::posix {

// Whether a name matches a mask as FindFirstFile matches it, without regard to case.
bool MaskMatches(const std::string& name, const std::string& mask);

// Drops what Windows drops from one name of a path: the last name (unless the path ends in a
// separator) loses its trailing dots and blanks ("name. " is "name"), the others one trailing
// dot ("dir.\x" is "dir\x", "dir \x" keeps its blank); names of dots only stay.
void DropTrailing(std::string& name, bool last);

}  // namespace platform::posix
