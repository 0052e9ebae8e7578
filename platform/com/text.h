#include "qxnet/text.h"
