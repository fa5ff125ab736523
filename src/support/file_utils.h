// File and directory operations on Windows paths, through the platform layer.
// Directory paths that these functions return end in "\".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/folder_handle.h"

namespace support {

// The folder part of a path, with its trailing "\" or "/"; "" when there is none.
std::string FolderOfPath(const std::string& path);
// The name after the last "\" or "/".
std::string NameOfPath(const std::string& path);

bool CopyFileTo(const std::string& source, const std::string& target, bool failIfExists);
// Never replaces an existing target.
bool MoveFileTo(const std::string& source, const std::string& target);

// Replaces content with the whole file; false (content empty) when it cannot
// be opened or a read fails part-way. The name is taken as it stands.
bool ReadWholeFile(const std::string& name, std::string& content);
// The whole file; "" when it cannot be opened. With deleteAfter a file that was
// read is deleted. The name is taken as a short string.
std::string LoadFileToString(const std::string& fileName, bool deleteAfter = false);
// Writes (or appends) the content, creating the file's directory when needed.
// With deleteIfEmpty and empty content the file is deleted instead.
bool SaveStringToFile(const std::string& content, const std::string& fileName,
                      bool deleteIfEmpty = false, bool append = false);

// Writes the content to a file beside the target and renames it over the
// target, so that the old file stays whole until the new one is complete. When
// that fails, the target's directory is created (with its parents) and the
// write tried once more.
bool ReplaceFileContent(const std::string& fileName, const std::string& content);

bool DirExists(const std::string& path);
// Creates the directory with every missing parent; true when it exists afterwards.
// A path of more than 255 characters gives false and creates nothing.
bool CreateDirectoryPath(const std::string& path);
// Creates the folder a file name lies in ("\" and "/" both separate folders);
// false when the name has no folder part or it cannot be created.
bool CreateFileDirectory(const std::string& fileName);
// Deletes the entries matching mask ("" = "*.*"), descending into
// subdirectories when recursive, then the directory itself; true when that
// last removal succeeded. A link or junction is removed, never followed.
bool DeleteDirectory(const std::string& path, const std::string& mask = "", bool recursive = true);

// What WalkTree does in a folder, held open: given the entries that match the
// mask, it returns the names of the subfolders to enter.
using FolderVisit = std::function<std::vector<std::string>(
    const platform::FolderHandle& folder, const std::vector<platform::DirEntry>& entries)>;
// Told when a subfolder is done (closed again) or could not be entered (a link
// now, or gone), with its parent held: where a walk removes what it left.
using FolderLeave =
    std::function<void(const platform::FolderHandle& parent, const std::string& name)>;
// Walks the tree at path depth first, each folder entered through the one
// above it and held while its subfolders are walked, so that no link is ever
// entered, also one swapped in after a listing. False when path itself is not
// a plain folder reached without a link.
bool WalkTree(const std::string& path, const std::string& mask, const FolderVisit& visit,
              const FolderLeave& leave = nullptr);

// Size of the first file matching the name (masks allowed); -1 when none.
int64_t FileSizeOf(const std::string& fileName);
// As FileSizeOf for a short string, 0 when none.
int64_t FileSizeByName(const std::string& fileName);
// Modification time of the first matching file as a packed file date (date in
// the high 16 bits, time in 2-second steps in the low 16 bits); 0 when none.
uint32_t FileDateByName(const std::string& fileName);
// The packed file date of a local date-time (days since 1899-12-30); 0 outside 1980 to 2107.
uint32_t DateTimeToFileDate(double dateTime);

// "" stays ""; with slashesToBackslashes every "/" becomes "\"; a "\" is appended
// unless the path ends in "\" or "/"; without withSeparator the last character
// is then removed.
std::string NormalizeDir(const std::string& path, bool withSeparator = true,
                         bool slashesToBackslashes = false);
// Begins with "/" or "\" or contains ":".
bool IsRootedPath(const std::string& path);

// The system's directories, trimmed, ending in "\". When the system names none,
// the directory of the running program unless noFallback (then "").
std::string GetTempDirectory(bool noFallback = false);
std::string GetWindowsDirectoryPath(bool noFallback = false);
std::string GetSystemDirectoryPath(bool noFallback = false);

}  // namespace support
