// Shows a file with the desktop's opener (xdg-open) when one is on PATH.
#pragma once

#include <string>

namespace qxnav {

// The opener's full path, or empty when there is none.
std::string FindDesktopOpener();

// Runs the opener on `path` and waits for it; false when there is no opener
// or it could not be started.
bool OpenWithDesktop(const std::string& path);

}  // namespace qxnav
