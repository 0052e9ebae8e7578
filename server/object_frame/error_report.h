// Failure reporting of every public method: post a per-thread error record
// (interface identifier, source ProgID, description) and hand back the code.
#pragma once

#include <exception>
#include <new>
#include <string_view>

#include "qxnet/qxnetlib.h"

namespace qx {

// Creates an error record with `iid`, the ProgID registered for `clsid` as
// its source and `description`, makes it the thread's current record and
// returns `hr` (a 0 result would be turned into DISP_E_EXCEPTION).
HRESULT ReportError(const CLSID& clsid, std::u16string_view description, const IID& iid,
                    HRESULT hr);

// The ProgID of one of the library's classes ("QXNet.UpdateItem.1"): the one
// registered for it, else the one the module registers it under; empty for
// an unknown class.
std::u16string SourceProgIdOf(const CLSID& clsid);

// Runs `body` and turns any escaping C++ exception into a result code, so
// that no exception ever leaves a public method.
template <class Body>
HRESULT NoThrow(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace qx
