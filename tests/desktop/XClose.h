// What a window manager's close button does: a WM_DELETE_WINDOW message to
// a window (kept apart from the tests, whose names Xlib's macros would spoil).
#pragma once

#include <string>

namespace desktop_test {

// False when the display cannot be opened.
bool SendDeleteWindow(const std::string& display, unsigned long window);

}  // namespace desktop_test
