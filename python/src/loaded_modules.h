// The in-process server modules this extension has created objects from,
// and whether they could be unloaded now (their DllCanUnloadNow), asked
// through the module the runtime already loaded, never by loading one.
#pragma once

#include "qxnet/platform.h"

namespace qxpy {

// Notes the module registered for `clsid` (HKCR\CLSID\{...}\InprocServer32).
void RememberModuleOf(const CLSID& clsid);

// S_OK when every noted module that is loaded answers S_OK; else the first
// other answer.
HRESULT CanUnloadModulesNow();

}  // namespace qxpy
