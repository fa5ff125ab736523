// The native build has no windows: forms are shown headless only.
#include "ui/renderer.h"

namespace ui {

std::unique_ptr<TRenderer> CreateScreenRenderer() {
  return nullptr;
}

}  // namespace ui
