// UpdateChannel: one channel of the update feed, with its title, link,
// description and the collection of its items.
#pragma once

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

class CUpdateChannel final
    : public DispatchObject<CUpdateChannel, IUpdateChannel, SingleThreaded, NoConnectionPoints> {
 public:
  static constexpr const CLSID& kClsid = CLSID_UpdateChannel;

  CUpdateChannel() = default;

  // IUpdateChannel
  HRESULT STDMETHODCALLTYPE get_items(IUpdateItems** pVal) override;
  HRESULT STDMETHODCALLTYPE get_title(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_title(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_link(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_link(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE get_description(BSTR* pVal) override;
  HRESULT STDMETHODCALLTYPE put_description(BSTR newVal) override;
  // The channel keeps no check date: the getter leaves its result alone and
  // the setter accepts and drops the value.
  HRESULT STDMETHODCALLTYPE get_lastCheckDate(DATE* pVal) override;
  HRESULT STDMETHODCALLTYPE put_lastCheckDate(DATE newVal) override;

 private:
  HRESULT GetText(const BStr& field, BSTR* out) const;
  static HRESULT PutText(BStr& field, BSTR value);

  // Created on first use, so that a failed creation is tried again.
  ComPtr<IUpdateItems> items_;
  BStr description_;
  BStr link_;
  BStr title_;
};

}  // namespace qx
