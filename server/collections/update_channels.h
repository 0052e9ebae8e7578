// UpdateChannels: the ordered list of a feed's UpdateChannel objects.
// Channels are appended as given; the same channel may appear twice.
#pragma once

#include <vector>

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/collections/variant_enumerator.h"
#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

class CUpdateChannels final
    : public DispatchObject<CUpdateChannels, IUpdateChannels, SingleThreaded, NoConnectionPoints>,
      private EnumerationSource {
 public:
  static constexpr const CLSID& kClsid = CLSID_UpdateChannels;

  CUpdateChannels() = default;

  // IUpdateChannels
  HRESULT STDMETHODCALLTYPE Item(LONG index, IUpdateChannel** pItem) override;
  HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pVal) override;
  HRESULT STDMETHODCALLTYPE Add(IUpdateChannel* newItem) override;

 private:
  // EnumerationSource
  size_t EnumerationCount() const override;
  HRESULT EnumerationElement(size_t index, VARIANT* out) const override;

  std::vector<ComPtr<IDispatch>> channels_;
};

}  // namespace qx
