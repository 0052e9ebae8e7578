// The registrar's C entry point, through which in-process server modules
// register themselves (the runtime exports only C functions).
#include <new>

#include "platform/registry/registrar.h"
#include "qxnet/text.h"

extern "C" HRESULT QxUpdateRegistryFromScript(LPCOLESTR script, BOOL doRegister,
                                              const QX_REGISTRAR_REPLACEMENT* replacements,
                                              UINT count) {
  if (!script || (count > 0 && !replacements)) return E_POINTER;
  try {
    qx::registry::ScriptReplacements pairs;
    pairs.reserve(count);
    for (UINT i = 0; i < count; ++i) {
      if (!replacements[i].name || !replacements[i].value) return E_POINTER;
      pairs.emplace_back(replacements[i].name, replacements[i].value);
    }
    return qx::registry::UpdateRegistryFromScript(script, doRegister != FALSE, pairs);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
