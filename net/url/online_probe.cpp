// The on-line probes: the user's off-line switch and the connection attempt.
#include "net/qxnet.h"

namespace qx {

namespace {
std::u16string_view TrueFalse(bool value) { return value ? u"true" : u"false"; }
}  // namespace

bool CQXNet::IsGlobalOffline() {
  Trace(u"CQXNet::IsGlobalOffline()");
  DWORD state = 0;
  DWORD size = sizeof(state);
  const bool offline =
      inet::InternetQueryOptionW(nullptr, inet::INTERNET_OPTION_CONNECTED_STATE, &state, &size) &&
      (state & inet::INTERNET_STATE_DISCONNECTED_BY_USER) != 0;
  Trace(u"CQXNet::IsGlobalOffline return: " + std::u16string(TrueFalse(offline)));
  return offline;
}

bool CQXNet::AttemptInternetConnection(bool showProgress) {
  Trace(u"CQXNet::AttemptInternetConnection");
  if (showProgress) AdvanceProgress(u"Attempting to connect to the internet");
  const bool online = inet::InternetAttemptConnect(0) == 0;
  Trace(u"CQXNet::AttemptInternetConnection return : " + std::u16string(TrueFalse(online)));
  return online;
}

}  // namespace qx
