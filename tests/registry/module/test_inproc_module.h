// The one class of the test in-process module, shared by the module and the
// tests that load it.
#pragma once

#include "qxnet/platform.h"

// {5A7C0E21-3B9D-4F61-8C2E-0D4B6A1F9E37}
QX_DEFINE_GUID(CLSID_QxTestThing, 0x5A7C0E21, 0x3B9D, 0x4F61, 0x8C, 0x2E, 0x0D, 0x4B, 0x6A, 0x1F,
               0x9E, 0x37);
// {C1D2E3F4-A5B6-4C7D-8E9F-0A1B2C3D4E5F}
QX_DEFINE_GUID(IID_IQxTestThing, 0xC1D2E3F4, 0xA5B6, 0x4C7D, 0x8E, 0x9F, 0x0A, 0x1B, 0x2C, 0x3D,
               0x4E, 0x5F);

struct IQxTestThing : IUnknown {
  virtual LONG STDMETHODCALLTYPE Answer() = 0;
};

// The module counts, in these environment variables of the process, how
// often it was loaded and unloaded and how many objects it created.
inline constexpr const char* kModuleLoadsVariable = "QXTEST_MODULE_LOADS";
inline constexpr const char* kModuleUnloadsVariable = "QXTEST_MODULE_UNLOADS";
inline constexpr const char* kModuleObjectsVariable = "QXTEST_MODULE_OBJECTS";
