#include "qxnet/com_ptr.h"
