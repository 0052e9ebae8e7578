// UpdateVerifier: checks that a downloaded file is the payload an update
// item describes (length, SHA-256, Ed25519 signature). The public key is the
// caller's, or else the product's, read from the machine's registry beside
// the product's other settings.
#pragma once

#include <string>

#include "qxnet/bstr.h"
#include "qxnet/qxnetlib.h"
#include "server/object_frame/dispatch_object.h"
#include "server/object_frame/no_connection_points.h"

namespace qx {

class CUpdateVerifier final
    : public DispatchObject<CUpdateVerifier, IUpdateVerifier, SingleThreaded, NoConnectionPoints> {
 public:
  static constexpr const CLSID& kClsid = CLSID_UpdateVerifier;

  CUpdateVerifier() = default;

  // IUpdateVerifier
  // The key in use: the caller's, else the product's, else empty.
  HRESULT STDMETHODCALLTYPE get_publicKey(BSTR* pVal) override;
  // Base64 of 32 bytes; empty or null goes back to the product's key.
  HRESULT STDMETHODCALLTYPE put_publicKey(BSTR newVal) override;
  HRESULT STDMETHODCALLTYPE Verify(IUpdateItem* item, BSTR fileName) override;

 private:
  BStr publicKey_;
};

}  // namespace qx
