// Task memory: blocks handed between components, freed by whoever receives them.
#include <cstdlib>

#include "qxnet/platform.h"

extern "C" {

LPVOID CoTaskMemAlloc(size_t cb) { return std::malloc(cb); }

void CoTaskMemFree(LPVOID pv) { std::free(pv); }

}  // extern "C"
