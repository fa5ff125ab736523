// The Win32 renderer: real windows for the forms. Every window of a component
// carries the component's name (and the form's window the form's name) as a
// global atom in the window property kComponentProperty, so that another
// process (the GUI driver of the tests) can find controls by name.
#pragma once

#include <memory>

#include "ui/renderer.h"

namespace ui {

inline constexpr char kComponentProperty[] = "OrvikComponent";

// A renderer that lays the forms out for a screen of this many dots per inch
// (positions are designed at 96); null when no window can be made.
std::unique_ptr<TRenderer> CreateWin32Renderer(int dpi);

}  // namespace ui
