#include "qxnet/bstr.h"
