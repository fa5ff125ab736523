// System registration: the program group and its shortcuts, the desktop and
// quick-launch shortcuts, the entry in the list of installed programs, and the
// installation folder and version in the product key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/install_journal.h"
#include "engine/outcome.h"
#include "product/setup_state.h"
#include "product/user_interface.h"

namespace engine {

// The entry in the list of installed programs: HKEY_LOCAL_MACHINE, this key,
// section "Orvik".
inline constexpr char kUninstallKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kUninstallSection[] = "Orvik";

// Line index (from 0) of LinkDesc, lines separated by LF, each trimmed (a CR
// before the LF goes).
std::string LinkDescLine(int index);
// The folder of every user's programs, without a trailing "\"; "" when the
// shell names none.
std::string CommonProgramsFolder();

// The product key's record of the program group setup made: the folder (with
// its trailing "\") and the file names of the links setup put in it, separated
// by "|" (which no link name holds). Only these links are ever deleted there.
inline constexpr char kProgramGroupValue[] = "ProgramGroup";
inline constexpr char kProgramGroupLinksValue[] = "ProgramGroupLinks";
struct ProgramGroupRecord {
  std::string folder;              // "" when none is recorded
  std::vector<std::string> links;  // file names, ".lnk" included
};
// The record; a recorded name that is no plain link file name is left out.
ProgramGroupRecord RecordedProgramGroup();
// Every link file name setup makes in its group with the current texts: what
// counts as setup's own in a group made before groups were recorded.
std::vector<std::string> OwnLinkNames();

// The folder the program group has, or gets at the next install, with a
// trailing "\"; "" when the shell names no programs folder. Named by cName,
// or by its English default when the translated name cannot name a folder or
// names one that is there already and is not the recorded group (the Startup
// folder, another program's group).
std::string ProgramGroupFolder();
// Deletes the links named (file names) from the group folder, then the folder
// when nothing else is left in it; nothing at all unless the folder lies
// strictly below the programs folder (logged). Each deletion goes through the
// journal when one is given. What should have gone but stayed.
std::vector<std::string> DeleteProgramGroup(const std::string& programs, const std::string& group,
                                            const std::vector<std::string>& links,
                                            TInstallJournal* journal = nullptr);
// The uninstall's part: the recorded group's links and then the folder when
// empty; for a group made before groups were recorded, setup's own link names
// in the folder ProgramGroupFolder names. The record stays with the product
// key: a later installation knows the folder as setup's. What should have gone
// but stayed.
std::vector<std::string> RemoveProgramGroup();
// The current user's desktop, with a trailing "\"; "" when the shell names none.
std::string GetDesktopFolder();
// The current user's quick-launch folder, with a trailing "\"; not created.
std::string GetQuickLaunchFolder();

class TSystemRegistration {
 public:
  // setupProgram is the running setup program; the shortcuts point at its copy
  // in the installation folder.
  // The links it makes, and the earlier runs' links it removes, go through the
  // journal.
  TSystemRegistration(setup::TSetupState& state, ui::UserInterface& ui, std::string setupProgram,
                      TInstallJournal& journal);

  // installedBytes, what the package installs, becomes the entry's
  // EstimatedSize (in KiB). Fatal when the uninstall entry or the product key
  // could not be written (shown and logged); the install run goes on and ends
  // with that code.
  Outcome RegisterSystem(uint64_t installedBytes);

 private:
  void CreateProgramGroup();
  bool WriteUninstallEntry(uint64_t installedBytes);

  setup::TSetupState& state_;
  ui::UserInterface& ui_;
  std::string setupFile_;  // the setup program's file name
  TInstallJournal& journal_;
  ProgramGroupRecord group_;  // what this run made, recorded with the product key
};

}  // namespace engine
