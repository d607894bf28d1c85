#include "helpers/FormatDuration.h"

namespace qv::app {

QString formatDuration(long long seconds) {
    if (seconds < 0) seconds = 0;
    const long long h = seconds / 3600, m = (seconds / 60) % 60, r = seconds % 60;
    if (seconds < 3600) return QString::asprintf("%02lld:%02lld", m, r);
    return QString::asprintf("%02lld:%02lld:%02lld", h, m, r);
}

}  // namespace qv::app
