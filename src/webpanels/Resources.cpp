#include "webpanels/Resources.h"

#include "state/Resources.h"

namespace qv::webpanels {

QString whiteboardPagePath() { return app::resourcePath(QStringLiteral("marrowpanel/index.html")); }

}  // namespace qv::webpanels
