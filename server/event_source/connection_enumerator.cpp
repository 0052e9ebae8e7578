#include "server/event_source/connection_enumerator.h"

#include <new>

#include "server/object_frame/helper_object.h"

namespace qx {

namespace {

class ConnectionEnumerator final : public HelperObject<IEnumConnections> {
 public:
  // Takes over the references held in `connections`.
  ConnectionEnumerator(std::vector<CONNECTDATA> connections, size_t position)
      : connections_(std::move(connections)), position_(position) {}
  ~ConnectionEnumerator() override {
    for (CONNECTDATA& connection : connections_)
      if (connection.pUnk) connection.pUnk->Release();
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, CONNECTDATA* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    while (done < count && position_ < connections_.size()) {
      out[done] = connections_[position_++];
      if (out[done].pUnk) out[done].pUnk->AddRef();
      ++done;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    size_t left = connections_.size() - position_;
    if (count > left) {
      position_ = connections_.size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    IEnumConnections* clone = nullptr;
    HRESULT hr = CreateConnectionEnumerator(connections_, &clone);
    if (FAILED(hr)) return hr;
    static_cast<ConnectionEnumerator*>(clone)->position_ = position_;
    *out = clone;
    return S_OK;
  }

 private:
  std::vector<CONNECTDATA> connections_;
  size_t position_;
};

}  // namespace

HRESULT CreateConnectionEnumerator(const std::vector<CONNECTDATA>& connections,
                                   IEnumConnections** enumerator) {
  if (!enumerator) return E_POINTER;
  *enumerator = nullptr;
  try {
    std::vector<CONNECTDATA> copy(connections);
    auto* created = new ConnectionEnumerator(std::move(copy), 0);
    // The enumerator now owns the copy: reference every sink it holds.
    for (const CONNECTDATA& connection : connections)
      if (connection.pUnk) connection.pUnk->AddRef();
    created->AddRef();
    *enumerator = created;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace qx
