#include "tools/qxnet/transfer.h"

#include "qxnet/bstr.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/interrupt_flag.h"
#include "tools/qxnet/progress_sink.h"

namespace qxcli {

namespace {

// Runs one transfer call with a connected sink; maps a failure that follows
// a cancel (or a Ctrl-C during the call) to Cancelled.
template <class F>
void RunTransfer(_QXNet* net, ProgressDisplay& display, const char* what, F&& call) {
  ProgressConnection connection(net, display);
  ClearErrorRecord();
  const HRESULT hr = call();
  display.Finish();
  if (FAILED(hr) && (connection.CancelSent() || Interrupted())) {
    std::string description = TakeErrorDescription();
    throw Cancelled(description.empty() ? "Canceled" : description);
  }
  Check(hr, what);
}

}  // namespace

std::string RetrieveWithProgress(_QXNet* net, const std::string& url,
                                 const std::string& destination, ProgressDisplay& display) {
  qx::BStr address = qx::BStr::FromUtf8(url);
  qx::BStr file;
  if (!destination.empty()) file = qx::BStr::FromUtf8(destination);
  RunTransfer(net, display, "RetrieveFile", [&] {
    // fileName is in/out: the destination goes in, the resulting path comes
    // back (the library frees what it replaces).
    BSTR value = file.Detach();
    const HRESULT hr = net->RetrieveFile(address.Get(), 0, &value);
    file = qx::BStr::Attach(value);
    return hr;
  });
  return file.Utf8();
}

std::string UploadWithProgress(_QXNet* net, const std::string& file, const std::string& url,
                               const std::string& answer, ProgressDisplay& display) {
  qx::BStr name = qx::BStr::FromUtf8(file);
  qx::BStr address = qx::BStr::FromUtf8(url);
  qx::BStr answer_file;
  if (!answer.empty()) answer_file = qx::BStr::FromUtf8(answer);
  RunTransfer(net, display, "UploadFile", [&] {
    BSTR value = answer_file.Detach();
    const HRESULT hr = net->UploadFile(name.Get(), address.Get(), 0, &value);
    answer_file = qx::BStr::Attach(value);
    return hr;
  });
  return answer_file.Utf8();
}

}  // namespace qxcli
