// The event sink for __QXNetEvents: a small IDispatch object that a QXNet
// object calls back on OnProgress (dispid 1) and End (dispid 2). Each
// progress report goes to a ProgressDisplay; once Ctrl-C has been pressed
// the sink answers every report with the cancel flag set to -1.
#pragma once

#include <string>

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "tools/qxnet/progress_display.h"

namespace qxcli {

class ProgressSink;

// Connects a new sink to `source`'s __QXNetEvents connection point for
// the lifetime of this object (Advise on construction, Unadvise on
// destruction). Throws CallFailed when the object offers no such point.
class ProgressConnection {
 public:
  ProgressConnection(IUnknown* source, ProgressDisplay& display);
  ~ProgressConnection();
  ProgressConnection(const ProgressConnection&) = delete;
  ProgressConnection& operator=(const ProgressConnection&) = delete;

  // Whether the sink has answered a report with a cancel.
  bool CancelSent() const;
  // Whether the End event arrived.
  bool EndSeen() const;

 private:
  qx::ComPtr<IConnectionPoint> point_;
  ProgressSink* sink_ = nullptr;  // owned through one reference
  DWORD cookie_ = 0;
  bool advised_ = false;
};

}  // namespace qxcli
