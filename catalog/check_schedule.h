// The check schedule of an update catalog: when the next look at the feed is
// due, given the last one and the interval in days.
#pragma once

#include "qxnet/platform.h"

namespace qx::catalog {

// `lastCheck` (local wall-clock time) plus `intervalDays` whole days of
// 86,400 seconds on the universal time line, with the local time-zone rules
// deciding daylight saving at both ends; fractions of a second are dropped.
//
// A lastCheck before 1900 counts from 1 January 1970 00:00:00 UTC. When
// lastCheck has no calendar form, lies between 1900 and the start of 1970,
// or the sum falls outside what the time functions and the automation date
// can hold (before 1970 or after 9999), the answer is `now`.
DATE NextCheckDate(DATE lastCheck, LONG intervalDays, DATE now);

}  // namespace qx::catalog
