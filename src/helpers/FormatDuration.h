#pragma once
#include <QString>

namespace qv::app {

// "mm:ss" below one hour, "hh:mm:ss" from one hour on (hours not limited to two digits).
// A negative duration counts as zero.
QString formatDuration(long long seconds);

}  // namespace qv::app
