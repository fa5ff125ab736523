#include "setup/browse_folder.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/system.h"
#include "product/destination.h"
#include "product/messages.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace setup {
namespace {

// The folders directly below dir, sorted without regard to case.
std::vector<std::string> SubFolders(const std::string& dir) {
  std::vector<platform::DirEntry> found;
  std::vector<std::string> names;
  if (!platform::ListDirectory(dir + "*.*", found)) return names;
  for (const auto& entry : found)
    if ((entry.attributes & platform::kAttrDirectory) && entry.name != "." && entry.name != "..")
      names.push_back(entry.name);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return support::LowerCase(a) < support::LowerCase(b);
  });
  return names;
}

// The folder itself when it exists, else the nearest one above it; "" when none.
std::string NearestExistingFolder(std::string dir) {
  while (!dir.empty()) {
    dir = support::NormalizeDir(dir);
    if (support::DirExists(support::NormalizeDir(dir, false))) return dir;
    // "\" alone has nothing above it.
    if (dir.size() < 2) return "";
    size_t cut = dir.find_last_of('\\', dir.size() - 2);
    if (cut == std::string::npos) return "";
    dir.resize(cut + 1);
  }
  return "";
}

}  // namespace

TBrowseFolderDialog::TBrowseFolderDialog(ui::TForm& form, ui::UserInterface& ui)
    : form_(form), ui_(ui) {
  form_.OnShow = [this] { form_.Get("PathEdit").SetFocus(); };
  form_.Get("DirectoryListBox").OnChange = [this](ui::TComponent&) { DirectorySelected(); };
  form_.Get("DriveComboBox").OnChange = [this](ui::TComponent&) { DriveSelected(); };
  form_.Get("OKButton").OnClick = [this](ui::TComponent&) { Ok(); };
  form_.Get("Netbutton").OnClick = [this](ui::TComponent&) {
    platform::ConnectNetworkDriveDialog();
    FillDrives();
  };
}

std::optional<std::string> TBrowseFolderDialog::Choose(const std::string& path) {
  form_.Get("PathEdit").SetText(path);
  std::string shown = NearestExistingFolder(path);
  if (shown.empty()) shown = NearestExistingFolder(platform::CurrentDirectory());
  ShowDirectory(shown);
  FillDrives();
  if (form_.ShowModal() != ui::kMrOk) return std::nullopt;
  return form_.Get("PathEdit").Text();
}

void TBrowseFolderDialog::FillDrives() {
  form_.Get("DriveComboBox").SetItems(platform::LocalDrives());
  SelectDrive();
}

void TBrowseFolderDialog::SelectDrive() {
  ui::TComponent& drives = form_.Get("DriveComboBox");
  const auto& items = drives.Items();
  for (size_t i = 0; i < items.size(); ++i)
    if (support::SameText(items[i], directory_.substr(0, 3)))
      drives.SetItemIndex(static_cast<int>(i));
}

// The list holds the folders from the drive's root down to dir, each indented
// by its depth, then the folders below dir.
void TBrowseFolderDialog::ShowDirectory(const std::string& dir) {
  directory_ = dir;
  entries_.clear();
  std::vector<std::string> items;
  size_t depth = 0;
  for (size_t end = dir.find('\\'); end != std::string::npos; end = dir.find('\\', end + 1)) {
    size_t start = depth == 0 ? 0 : dir.rfind('\\', end - 1) + 1;
    items.push_back(std::string(depth * 2, ' ') + dir.substr(start, end - start + (depth == 0)));
    entries_.push_back(dir.substr(0, end + 1));
    ++depth;
  }
  const int current = static_cast<int>(items.size()) - 1;
  for (const std::string& name : SubFolders(dir)) {
    items.push_back(std::string(depth * 2, ' ') + name);
    entries_.push_back(dir + name + "\\");
  }
  ui::TComponent& list = form_.Get("DirectoryListBox");
  list.SetItems(items);
  list.SetItemIndex(current);
  SelectDrive();
}

void TBrowseFolderDialog::DirectorySelected() {
  int index = form_.Get("DirectoryListBox").ItemIndex();
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return;
  const std::string dir = entries_[index];
  ShowDirectory(dir);
  form_.Get("PathEdit").SetText(dir);
}

void TBrowseFolderDialog::DriveSelected() {
  ui::TComponent& drives = form_.Get("DriveComboBox");
  int index = drives.ItemIndex();
  if (index < 0) return;
  const std::string root = drives.Items()[index];
  if (support::SameText(root, directory_.substr(0, 3))) return;
  ShowDirectory(root);
  form_.Get("PathEdit").SetText(root);
}

void TBrowseFolderDialog::Ok() {
  std::string path = support::TrimBlanks(form_.Get("PathEdit").Text());
  if (!path.empty()) path = support::NormalizeDir(path);
  DestinationFault fault = CheckDestination(path);
  if (fault != DestinationFault::None) {
    ui_.MessageBox(DestinationRefusal(path, fault), cError,
                   ui::kOk | ui::kIconError | ui::kTaskModal);
    return;
  }
  if (!support::DirExists(support::NormalizeDir(path, false)) &&
      ui_.MessageBox("The Folder:\r\n\r\n'" + path +
                         "'\r\n\r\ndoes not exist. Do you want the folder to be created?",
                     "Setup", ui::kYesNo | ui::kIconQuestion | ui::kTaskModal) != ui::kIdYes)
    return;
  form_.Get("PathEdit").SetText(path);
  form_.SetModalResult(ui::kMrOk);
}

}  // namespace setup
