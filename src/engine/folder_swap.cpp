#include "engine/folder_swap.h"

#include <unordered_map>

#include "platform/folder_handle.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace engine {
namespace {

// A folder to walk into; a link or junction is an entry like a file, never
// followed.
bool IsFolder(uint32_t attributes) {
  return (attributes & platform::kAttrDirectory) && !(attributes & platform::kAttrReparsePoint);
}

// Nothing when the folder is a link, or lies below one.
std::vector<platform::DirEntry> List(const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  platform::ListFolder(folder, entries);
  return entries;
}

}  // namespace

void TFolderSwap::Survey(const std::string& folder) {
  support::WalkTree(
      folder, "*.*",
      [this](const platform::FolderHandle& held, const std::vector<platform::DirEntry>& entries) {
        std::vector<std::string> subfolders;
        for (const platform::DirEntry& entry : entries)
          if (IsFolder(entry.attributes)) subfolders.push_back(entry.name);
        survey_[support::LowerCase(held.Path())] = entries;
        return subfolders;
      });
}

std::vector<platform::DirEntry> TFolderSwap::Entries(const std::string& folder,
                                                     bool surveyed) const {
  if (surveyed) {
    auto found = survey_.find(support::LowerCase(folder));
    if (found != survey_.end()) return found->second;
  }
  return List(folder);
}

Outcome TFolderSwap::CarryExtras(const std::string& source, const std::string& target, bool top,
                                 bool& consistent) {
  std::unordered_map<std::string, bool> staged;  // lower-case name: whether it is a folder
  for (const platform::DirEntry& entry : Entries(source, !top))
    staged[support::LowerCase(entry.name)] = IsFolder(entry.attributes);
  for (const platform::DirEntry& entry : Entries(target, !top)) {
    auto found = staged.find(support::LowerCase(entry.name));
    if (found == staged.end()) {
      // Read before the server stopped: it may have gone since.
      if (!top && platform::GetFileAttributes(target + entry.name) == platform::kInvalidAttributes)
        continue;
      Outcome carried = carry_(entry.name, target, source);
      if (carried != Outcome::Done) return carried;
      continue;
    }
    if (found->second != IsFolder(entry.attributes)) {
      consistent = false;
      return Outcome::Done;
    }
    if (!found->second) continue;  // the staged file replaces it
    const std::string sub = entry.name + "\\";
    Outcome carried = CarryExtras(source + sub, target + sub, false, consistent);
    if (carried != Outcome::Done || !consistent) return carried;
  }
  return Outcome::Done;
}

Outcome TFolderSwap::Swap(const std::string& source, const std::string& target, bool& swapped) {
  swapped = false;
  bool consistent = true;
  Outcome carried = CarryExtras(source, target, true, consistent);
  if (carried != Outcome::Done || !consistent) return carried;
  const std::string aside = journal_.NextBackup() + "\\";
  if (!journal_.Move(target, aside)) return Outcome::Done;
  if (!journal_.Move(source, target)) {
    // Put back; when even that fails, the caller moves the staged files into
    // a new folder and the replaced one is retired into it.
    if (!journal_.Move(aside, target)) Replaced(aside, target);
    return Outcome::Done;
  }
  Replaced(aside, target);
  swapped = true;
  return Outcome::Done;
}

void TFolderSwap::Replaced(const std::string& aside, const std::string& target) {
  journal_.Swapped(aside, target);
  replaced_.emplace_back(aside, target);
}

bool TFolderSwap::Retire() {
  bool retired = true;
  for (const auto& [aside, target] : replaced_) {
    // Windows passes the access list on to everything below the folder, which
    // takes a while on a large one: done here, once the server runs again.
    platform::InheritAccess(support::NormalizeDir(target, false));
    retired &= journal_.Retire(aside, target);
  }
  replaced_.clear();
  survey_.clear();
  return retired;
}

}  // namespace engine
