// The progress reporter: every step of a transfer reports its title and the
// progress counter to the connected sinks, any of which may cancel.
#include "net/qxnet.h"
#include "net/request_pipeline/trace_text.h"
#include "qxnet/bstr.h"

namespace qx {

void CQXNet::OnProgress(std::u16string_view title, int32_t progress) {
  Trace(u"CQXNet::OnProgress(" + std::u16string(title) + u"," + net::DecimalText(progress) +
        u")");
  progress_ = progress > 100 ? 80 : progress;
  BStr text(title);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Fire_OnProgress(text.Get(), progress_, &cancel);
  // Only the automation value true cancels; 1 and every other value go on.
  if (cancel == VARIANT_TRUE) throw CQXNetException(u"Canceled");
}

void CQXNet::AdvanceProgress(std::u16string_view title) {
  // Wraps like the 32-bit counter it is instead of overflowing.
  OnProgress(title, static_cast<int32_t>(static_cast<uint32_t>(progress_) + 1u));
}

}  // namespace qx
