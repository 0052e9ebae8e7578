// Ctrl-C handling: the first SIGINT only raises a flag, which the progress
// sink answers with a cancel so the library ends its call cleanly; a second
// SIGINT ends the process the default way.
#pragma once

namespace qxcli {

void InstallInterruptHandler();
bool Interrupted();

}  // namespace qxcli
