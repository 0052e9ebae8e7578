#include "server/object_frame/no_connection_points.h"

#include <new>
#include <vector>

#include "qxnet/com_ptr.h"
#include "server/object_frame/helper_object.h"

namespace qx {

namespace {

class ConnectionPointEnumerator final : public HelperObject<IEnumConnectionPoints> {
 public:
  ConnectionPointEnumerator(std::vector<ComPtr<IConnectionPoint>> points, ULONG position)
      : points_(std::move(points)), position_(position) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    while (done < count && position_ < points_.size()) {
      points_[position_++].CopyTo(&out[done++]);
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    ULONG left = static_cast<ULONG>(points_.size()) - position_;
    if (count > left) {
      position_ = static_cast<ULONG>(points_.size());
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    auto* clone = new (std::nothrow) ConnectionPointEnumerator(points_, position_);
    if (!clone) return E_OUTOFMEMORY;
    clone->AddRef();
    *out = clone;
    return S_OK;
  }

 private:
  std::vector<ComPtr<IConnectionPoint>> points_;
  ULONG position_;
};

}  // namespace

HRESULT CreateConnectionPointEnumerator(IConnectionPoint* const* points, ULONG count,
                                        IEnumConnectionPoints** enumerator) {
  if (!enumerator) return E_POINTER;
  *enumerator = nullptr;
  try {
    std::vector<ComPtr<IConnectionPoint>> held;
    for (ULONG i = 0; i < count; ++i) held.emplace_back(points[i]);
    auto* created = new ConnectionPointEnumerator(std::move(held), 0);
    created->AddRef();
    *enumerator = created;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT STDMETHODCALLTYPE
NoConnectionPoints::EnumConnectionPoints(IEnumConnectionPoints** enumerator) {
  return CreateConnectionPointEnumerator(nullptr, 0, enumerator);
}

HRESULT STDMETHODCALLTYPE NoConnectionPoints::FindConnectionPoint(REFIID,
                                                                  IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  return CONNECT_E_NOCONNECTION;
}

}  // namespace qx
