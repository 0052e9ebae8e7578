// The on-line probes: the user's off-line switch and the connection attempt.
#include "net/url/online_probe.h"

#include "net/request_pipeline/trace_text.h"
#include "net/trace_log/trace_log.h"

namespace qx::net {

bool IsGlobalOffline() {
  WriteLog(u"CQXNet::IsGlobalOffline()");
  DWORD state = 0;
  DWORD size = sizeof(state);
  const bool offline =
      inet::InternetQueryOptionW(nullptr, inet::INTERNET_OPTION_CONNECTED_STATE, &state, &size) &&
      (state & inet::INTERNET_STATE_DISCONNECTED_BY_USER) != 0;
  WriteLog(u"CQXNet::IsGlobalOffline return: " + std::u16string(TrueFalseText(offline)));
  return offline;
}

bool AttemptInternetConnection(TransferState& transfer, bool showProgress) {
  WriteLog(u"CQXNet::AttemptInternetConnection");
  if (showProgress) transfer.AdvanceProgress(u"Attempting to connect to the internet");
  const bool online = inet::InternetAttemptConnect(0) == 0;
  WriteLog(u"CQXNet::AttemptInternetConnection return : " + std::u16string(TrueFalseText(online)));
  return online;
}

}  // namespace qx::net
