// The Windows build's screen renderer: none yet, so the forms are not shown and
// the setup takes the path without a display.
#include "ui/renderer.h"

namespace ui {

std::unique_ptr<TRenderer> CreateScreenRenderer() {
  return nullptr;
}

}  // namespace ui
