// GetErrorMessage: the text of the calling thread's last internet-service
// error, appended to a message.
#include "net/qxnet.h"

namespace qx {

void CQXNet::GetErrorMessage(std::u16string& message) {
  const std::u16string text = inet::GetErrorMessage(inet::GetLastError());
  if (text.empty()) return;
  message += text;
  Trace(u"CQXNet::GetErrorMessage " + text);
}

}  // namespace qx
