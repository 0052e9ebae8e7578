// The text of the calling thread's last internet-service error, for the
// failure messages of the transfer steps.
#pragma once

#include <string>

namespace qx::net {

// Appends the text of the thread's last error (and traces it); appends
// nothing when there is none.
void GetErrorMessage(std::u16string& message);

}  // namespace qx::net
