// QXNetEventSource: the event source of QXNet objects. It is the object's
// IConnectionPointContainer (used as an `Extras` mixin of DispatchObject, or
// by any class that routes its IUnknown to it), holds the one connection
// point for __QXNetEvents, and fires OnProgress and End at every connected
// sink through the sink's IDispatch::Invoke.
#pragma once

#include "qxnet/qxnetlib.h"
#include "server/event_source/connection_point.h"

namespace qx {

class QXNetEventSource : public IConnectionPointContainer {
 public:
  using Interface = IConnectionPointContainer;

  QXNetEventSource() : point_(this, DIID___QXNetEvents) {}
  QXNetEventSource(const QXNetEventSource&) = delete;
  QXNetEventSource& operator=(const QXNetEventSource&) = delete;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // OnProgress (dispid 1) to every sink in slot order, with the title, the
  // progress value and the caller's cancel flag by reference: every sink
  // sees what the sinks before it left in the flag. The title stays the
  // caller's. A null flag is replaced by a private one.
  HRESULT Fire_OnProgress(BSTR title, LONG progress, VARIANT_BOOL* cancel);
  // End (dispid 2, no arguments) to every sink in slot order.
  HRESULT Fire_End();

 protected:
  ~QXNetEventSource() = default;

 private:
  void InvokeEverySink(DISPID id, DISPPARAMS* params);

  ConnectionPoint point_;
};

}  // namespace qx
