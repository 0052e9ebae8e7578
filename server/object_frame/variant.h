#include "qxnet/variant.h"
