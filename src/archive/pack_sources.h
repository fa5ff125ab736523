// The entries that files and folders given to the packer make, in a stable order.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_writer.h"

namespace archive {

// Folder by folder: names compare part by part (between "\" or "/"), each part without regard
// to ASCII case first and byte by byte to settle a tie. So the files of a folder stay together
// and the order does not depend on how a file system lists them.
bool EntryNameLess(const std::string& a, const std::string& b);

// The last part of a path: what follows the last "\", "/" or ":", or all of it.
std::string LeafName(const std::string& path);

struct CollectResult {
  bool Ok = true;
  std::string Error;                 // why not, naming the path
  std::vector<std::string> Skipped;  // linked folders, not followed
};

// Adds an entry for every file below each source folder, named by its path relative to that
// folder with "\" separators; a source file gives one entry under its own name. The entries
// of all sources are sorted together with EntryNameLess. Folders that are links (symbolic
// links, junctions) are not entered, as they may lead back up the tree; they are listed in
// Skipped. Empty folders give nothing: the archive has no folder entries. A name that
// CheckEntryName refuses, or two files that give the same name, fail the collection.
CollectResult CollectSources(const std::vector<std::string>& sources, std::vector<PackItem>& items);

}  // namespace archive
