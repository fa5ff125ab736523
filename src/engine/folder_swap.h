// Folder swaps: a folder of the installation is replaced by its staged
// counterpart in a few renames, so that the server is down for those and not
// for one rename per file. What the installed folder holds and the staged one
// does not (the administrator's files, files of older versions) is carried
// over into the staged folder first, so the result is that of moving each
// staged file over its namesake. The folders are read before the server is
// stopped (Survey); below their top level those readings stand in for reading
// them again while it is down. The replaced folder waits in the journal's
// backup folder; what arrived in it after it was read is carried into the new
// one when the replaced folders are retired, after the server runs again.
// Every rename goes through the journal, so that a rollback puts each folder
// back as it was.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/install_journal.h"
#include "engine/outcome.h"
#include "platform/files.h"

namespace engine {

class TFolderSwap {
 public:
  // Moves from + name to to + name (a file or a folder, never replacing);
  // asks Retry or Cancel on failure.
  using Carry = std::function<Outcome(const std::string& name, const std::string& from,
                                      const std::string& to)>;

  TFolderSwap(Carry carry, TInstallJournal& journal)
      : carry_(std::move(carry)), journal_(journal) {}

  // Reads the listings of folder (ending in "\") and of everything below it.
  void Survey(const std::string& folder);
  // Replaces target by source (both existing, ending in "\"); the replaced
  // folder waits in the backup folder until Retire. swapped is false when it
  // could not be done (a rename failed, or an entry is a file on one side and a
  // folder on the other): what was carried then lies in source.
  Outcome Swap(const std::string& source, const std::string& target, bool& swapped);
  // After the point of no return: gives each swapped-in folder the access
  // list of its place and carries what each replaced folder holds and its
  // successor lacks into the successor, through the journal; the replaced
  // folders go with the backup folder. False when something could not be
  // carried (it stays in the backup folder).
  bool Retire();

 private:
  // The entries of folder but "." and ".."; from the survey when surveyed is
  // true and the survey read it.
  std::vector<platform::DirEntry> Entries(const std::string& folder, bool surveyed) const;
  // Carries the entries of target that source lacks into source; below the
  // top level, from the survey. consistent is false at a file facing a folder.
  Outcome CarryExtras(const std::string& source, const std::string& target, bool top,
                      bool& consistent);
  // Notes a replaced folder aside and its successor, for Retire.
  void Replaced(const std::string& aside, const std::string& target);

  Carry carry_;
  TInstallJournal& journal_;
  std::unordered_map<std::string, std::vector<platform::DirEntry>> survey_;  // by lower-case path
  std::vector<std::pair<std::string, std::string>> replaced_;  // aside folder, its successor
};

}  // namespace engine
