// HelperObject<Interface>: IUnknown for the library's small helper objects
// that are handed to clients but are not classes of their own
// (enumerators): a CountedObject that also holds the module lock while it
// lives, so that the module stays loaded until the last one is released.
#pragma once

#include "server/object_frame/counted_object.h"
#include "server/object_frame/module_lock.h"

namespace qx {

template <class Interface>
class HelperObject : public CountedObject<Interface> {
 protected:
  HelperObject() { LockModule(); }
  ~HelperObject() override { UnlockModule(); }
};

}  // namespace qx
