// CQXDetectNet: the QXDetectNet class. Tells whether a .NET runtime is
// installed, where its install root is and which runtime versions it holds.
//
// Free-threaded: any number of threads may call it at once. Its reference
// count is atomic and it keeps no state between calls; every property builds
// its answer afresh.
#pragma once

#include "qxnet/qxnetlib.h"
#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

class CQXDetectNet final
    : public DispatchObject<CQXDetectNet, _QXDetectNet, FreeThreaded, NoConnectionPoints> {
 public:
  static constexpr const CLSID& kClsid = CLSID_QXDetectNet;

  HRESULT STDMETHODCALLTYPE get_IsDotNetPresent(VARIANT_BOOL* pVal) override;
  HRESULT STDMETHODCALLTYPE get_InstallRootPath(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE get_CLRVersions(VARIANT* pVal) override;
};

}  // namespace qx
