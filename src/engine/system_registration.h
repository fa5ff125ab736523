// System registration: the program group and its shortcuts, the desktop and
// quick-launch shortcuts, the entry in the list of installed programs, and the
// installation folder and version in the product key.
#pragma once

#include <cstdint>
#include <string>

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
// The program group's folder among every user's programs, with a trailing "\";
// "" when the shell names none.
std::string ProgramGroupFolder();
// Deletes the group folder with everything in it, but only when it lies
// strictly below the programs folder it was built from (logged otherwise).
bool DeleteProgramGroup(const std::string& programs, const std::string& group);
// The current user's desktop, with a trailing "\"; "" when the shell names none.
std::string GetDesktopFolder();
// The current user's quick-launch folder, with a trailing "\"; not created.
std::string GetQuickLaunchFolder();

class TSystemRegistration {
 public:
  // setupProgram is the running setup program; the shortcuts point at its copy
  // in the installation folder.
  // The shortcuts and the program group it replaces go through the journal.
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
};

}  // namespace engine
