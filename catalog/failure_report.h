// How the catalog's helpers report a failure at the catalog's method
// boundary: they hand the message and code to the catalog, which posts the
// error record for its class and interface and gives the code back.
#pragma once

#include <functional>
#include <string_view>

#include "qxnet/platform.h"

namespace qx::catalog {

using FailureReport = std::function<HRESULT(std::u16string_view message, HRESULT hr)>;

}  // namespace qx::catalog
