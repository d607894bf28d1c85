#include "webpanels/Resources.h"

#include "app/state/Resources.h"

namespace qv::webpanels {

QString whiteboardPagePath() { return app::resourcePath(QStringLiteral("marrowpanel/index.html")); }

}  // namespace qv::webpanels
