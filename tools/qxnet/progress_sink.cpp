#include "tools/qxnet/progress_sink.h"

#include <string_view>

#include "qxnet/event_sink.h"
#include "qxnet/text.h"
#include "qxnet/variant.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/interrupt_flag.h"

namespace qxcli {

namespace {

constexpr DISPID kOnProgress = 1;
constexpr DISPID kEnd = 2;

// The value of a dispatch argument as `vt`, following one level of
// reference; false when it cannot be converted.
bool ArgumentAs(const VARIANT& arg, VARTYPE vt, qx::Variant& out) {
  const VARIANT* source = &arg;
  if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal) source = arg.pvarVal;
  return SUCCEEDED(VariantChangeType(out.Put(), source, 0, vt));
}

}  // namespace

class ProgressSink final : public qx::EventSink {
 public:
  explicit ProgressSink(ProgressDisplay& display)
      : EventSink(DIID___QXNetEvents), display_(display) {}

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      const std::u16string_view name = qx::WideView(names[i]);
      if (i == 0 && name == u"OnProgress") {
        ids[i] = kOnProgress;
      } else if (i == 0 && name == u"End") {
        ids[i] = kEnd;
      } else {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
      }
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (id == kEnd) {
      end_seen_ = true;
      display_.Finish();
      return S_OK;
    }
    if (id != kOnProgress) return DISP_E_MEMBERNOTFOUND;
    if (!params || params->cArgs < 3 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
    // Arguments arrive last-first: rgvarg[2] is titleText, [1] progress,
    // [0] the cancel flag by reference.
    qx::Variant title, progress;
    if (!ArgumentAs(params->rgvarg[2], VT_BSTR, title)) return DISP_E_TYPEMISMATCH;
    if (!ArgumentAs(params->rgvarg[1], VT_I4, progress)) return DISP_E_TYPEMISMATCH;
    display_.Update(qx::BstrToUtf8(title.bstrVal), progress.lVal);
    if (Interrupted()) {
      VARIANT& cancel = params->rgvarg[0];
      if (cancel.vt == (VT_BYREF | VT_BOOL) && cancel.pboolVal) {
        *cancel.pboolVal = VARIANT_TRUE;
        cancel_sent_ = true;
      } else if (cancel.vt == (VT_BYREF | VT_VARIANT) && cancel.pvarVal) {
        VariantClear(cancel.pvarVal);
        cancel.pvarVal->vt = VT_BOOL;
        cancel.pvarVal->boolVal = VARIANT_TRUE;
        cancel_sent_ = true;
      }
    }
    return S_OK;
  }

  bool CancelSent() const { return cancel_sent_; }
  bool EndSeen() const { return end_seen_; }

 private:
  ~ProgressSink() override = default;

  ProgressDisplay& display_;
  bool cancel_sent_ = false;
  bool end_seen_ = false;
};

ProgressConnection::ProgressConnection(IUnknown* source, ProgressDisplay& display) {
  auto container = qx::QueryAs<IConnectionPointContainer>(source);
  if (!container) throw CallFailed(E_NOINTERFACE, "The object has no connection points");
  Call("FindConnectionPoint",
       [&] { return container->FindConnectionPoint(DIID___QXNetEvents, point_.Put()); });
  sink_ = new ProgressSink(display);
  HRESULT hr = point_->Advise(sink_, &cookie_);
  if (FAILED(hr)) {
    sink_->Release();
    sink_ = nullptr;
    Check(hr, "Advise");
  }
  advised_ = true;
}

ProgressConnection::~ProgressConnection() {
  if (advised_) point_->Unadvise(cookie_);
  if (sink_) sink_->Release();
}

bool ProgressConnection::CancelSent() const { return sink_ && sink_->CancelSent(); }
bool ProgressConnection::EndSeen() const { return sink_ && sink_->EndSeen(); }

}  // namespace qxcli
