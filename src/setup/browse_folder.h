// The destination folder dialog (TBrowseFolder): a path box, a directory list
// that follows a drive list, and the button for mapping a network drive. OK
// takes an existing folder, or a new one once the user agreed to it, and never
// a folder where the server cannot be installed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "product/user_interface.h"
#include "ui/form.h"

namespace setup {

class TBrowseFolderDialog {
 public:
  // Sets the form's handlers; the dialog lives as long as the form is shown.
  TBrowseFolderDialog(ui::TForm& form, ui::UserInterface& ui);
  TBrowseFolderDialog(const TBrowseFolderDialog&) = delete;
  TBrowseFolderDialog& operator=(const TBrowseFolderDialog&) = delete;

  // Shows the dialog modally with the path in its path box; the folder chosen
  // with OK (ending in "\"), or nothing when the dialog was left otherwise.
  std::optional<std::string> Choose(const std::string& path);

 private:
  void ShowDirectory(const std::string& dir);
  void DirectorySelected();
  void DriveSelected();
  void FillDrives();
  void SelectDrive();
  void Ok();

  ui::TForm& form_;
  ui::UserInterface& ui_;
  std::string directory_;             // shown in the list, ending in "\"
  std::vector<std::string> entries_;  // the folder of each list entry
};

}  // namespace setup
