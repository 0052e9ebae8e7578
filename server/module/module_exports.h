// The four entry points of the in-process server module.
#pragma once

#include "qxnet/platform.h"

extern "C" {
HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
HRESULT DllCanUnloadNow(void);
HRESULT DllRegisterServer(void);
HRESULT DllUnregisterServer(void);
}
