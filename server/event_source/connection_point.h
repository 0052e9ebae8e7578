// One connection point of an event source: the sinks connected for one
// outgoing interface. It lives inside its owning object and counts
// references on the owner (through the owner's IConnectionPointContainer),
// so it is kept alive by and keeps alive the object it belongs to.
#pragma once

#include "qxnet/qxnetlib.h"
#include "server/event_source/connection_list.h"

namespace qx {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `container` is the owning object's container; `iid` the outgoing
  // interface (kept by reference: it must be a static identifier).
  ConnectionPoint(IConnectionPointContainer* container, const IID& iid)
      : container_(container), iid_(iid) {}
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  // IUnknown: answers for IConnectionPoint and IUnknown only; counting goes
  // to the owner.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

  const IID& Interface() const { return iid_; }
  const ConnectionList& Connections() const { return connections_; }

 private:
  IConnectionPointContainer* container_;
  const IID& iid_;
  ConnectionList connections_;
};

}  // namespace qx
