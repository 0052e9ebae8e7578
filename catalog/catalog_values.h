// The values an update catalog keeps besides its three item lists: the feed
// it follows, the check schedule and a few descriptive texts. The catalog
// file carries all of them.
#pragma once

#include "qxnet/bstr.h"
#include "qxnet/platform.h"

namespace qx::catalog {

struct CatalogValues {
  BStr feedUrl;   // null when absent
  BStr title;     // null when absent
  BStr password;  // null when absent; stored and written in plain text
  LONG fileFormatVersion = 1;
  LONG checkInterval = 1;  // days; any value is accepted
  DATE nextCheckDate = 0.0;
  DATE lastCheckDate = 0.0;
  DATE publishDate = 0.0;
  VARIANT_BOOL enabled = VARIANT_TRUE;  // whatever 16-bit value was put
};

}  // namespace qx::catalog
