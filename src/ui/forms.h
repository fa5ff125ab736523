// The three forms of setup.exe, each described once as data: the main window
// with its wizard pages, the destination folder dialog and the first-run wizard.
#pragma once

#include <memory>

#include "ui/form.h"

namespace ui {

std::unique_ptr<TForm> CreateMainForm();
std::unique_ptr<TForm> CreateBrowseFolderForm();
std::unique_ptr<TForm> CreateWizardForm();

}  // namespace ui
