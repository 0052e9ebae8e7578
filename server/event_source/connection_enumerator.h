// The enumerator of a connection point's connections: a copy of the
// (sink, cookie) pairs taken when it was made, each sink held with a counted
// reference.
#pragma once

#include <vector>

#include "qxnet/platform.h"

namespace qx {

// Makes an enumerator over `connections`, add-referencing every sink.
// E_OUTOFMEMORY when the copy cannot be made.
HRESULT CreateConnectionEnumerator(const std::vector<CONNECTDATA>& connections,
                                   IEnumConnections** enumerator);

}  // namespace qx
