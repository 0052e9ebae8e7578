// GetErrorMessage: the text of the calling thread's last internet-service
// error, appended to a message.
#include "net/request_pipeline/error_message.h"

#include "net/internet_service/internet_service.h"
#include "net/trace_log/trace_log.h"

namespace qx::net {

void GetErrorMessage(std::u16string& message) {
  const std::u16string text = inet::GetErrorMessage(inet::GetLastError());
  if (text.empty()) return;
  message += text;
  WriteLog(u"CQXNet::GetErrorMessage " + text);
}

}  // namespace qx::net
