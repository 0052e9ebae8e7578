// The module's lock count: raised by every live object and by every
// IClassFactory::LockServer(TRUE), lowered by their counterparts. The module
// may be unloaded only while it is zero.
#pragma once

#include "qxnet/platform.h"

namespace qx {

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

}  // namespace qx
