// NoConnectionPoints: the connection-point container of classes that have an
// (empty) outgoing interface but never fire events. It finds no connection
// point and enumerates none. Used as an `Extras` mixin of DispatchObject.
#pragma once

#include "qxnet/qxnetlib.h"

namespace qx {

class NoConnectionPoints : public IConnectionPointContainer {
 public:
  using Interface = IConnectionPointContainer;

  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** enumerator) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
};

// An enumerator over a fixed list of connection points (each held with a
// counted reference). Used by every connection-point container.
HRESULT CreateConnectionPointEnumerator(IConnectionPoint* const* points, ULONG count,
                                        IEnumConnectionPoints** enumerator);

}  // namespace qx
