// The class factory of one object-map entry.
#pragma once

#include "qxnet/qxnetlib.h"
#include "server/module/object_map.h"

namespace qx {

// Creates the factory for `entry` with one reference held by the caller.
IClassFactory* NewClassFactory(const ClassEntry& entry);

}  // namespace qx
