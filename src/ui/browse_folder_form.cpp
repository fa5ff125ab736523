// TBrowseFolder: the destination folder dialog. The directory list follows the
// drive list and copies its directory into PathEdit; OK closes only on an
// existing folder or after the user agreed to a new one.
#include "ui/forms.h"

namespace ui {
namespace {

const TComponentDesc kBrowseFolder[] = {
    {.ClassName = "TLabel",
     .Name = "PromptLabel",
     .Bounds = {8, 8, 234, 13},
     .Caption = "Please choose the installation folder."},
    {.ClassName = "TLabel", .Name = "PathLabel", .Bounds = {8, 28, 234, 13}, .Caption = "&Path: "},
    {.ClassName = "TEdit", .Name = "PathEdit", .Bounds = {8, 44, 234, 21}},
    {.ClassName = "TLabel",
     .Name = "DirectoryLabel",
     .Bounds = {8, 72, 234, 13},
     .Caption = "&Directories"},
    {.ClassName = "TDirectoryListBox", .Name = "DirectoryListBox", .Bounds = {8, 88, 234, 97}},
    {.ClassName = "TLabel",
     .Name = "DriveLabel",
     .Bounds = {8, 190, 234, 13},
     .Caption = "Dr&ives:"},
    {.ClassName = "TDriveComboBox", .Name = "DriveComboBox", .Bounds = {8, 206, 234, 21}},
    {.ClassName = "TButton",
     .Name = "OKButton",
     .Bounds = {8, 236, 75, 23},
     .Caption = "&OK",
     .Style = kDefaultButton},
    {.ClassName = "TButton",
     .Name = "CancelButton",
     .Bounds = {88, 236, 75, 23},
     .Caption = "&Cancel",
     .Style = kCancelButton,
     .ModalResult = kMrCancel},
    {.ClassName = "TButton",
     .Name = "Netbutton",
     .Bounds = {168, 236, 74, 23},
     .Caption = "&Network..."},
};

}  // namespace

std::unique_ptr<TForm> CreateBrowseFolderForm() {
  // OK carries no modal result of its own: its handler closes the dialog only
  // once the folder is accepted.
  return std::make_unique<TForm>(TFormDesc{.ClassName = "TBrowseFolder",
                                           .Name = "BrowseFolder",
                                           .Caption = "Choose Folder",
                                           .ClientWidth = 250,
                                           .ClientHeight = 266,
                                           .KeyPreview = true},
                                 kBrowseFolder);
}

}  // namespace ui
