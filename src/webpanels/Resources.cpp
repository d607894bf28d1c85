#include "webpanels/Resources.h"

#include "state/Resources.h"
#include "webpanels/AppScheme.h"

namespace qv::webpanels {

QString whiteboardPagePath() { return app::resourcePath(QStringLiteral("marrowpanel/index.html")); }

QUrl whiteboardPageUrl() { return appUrl(QStringLiteral("marrowpanel/index.html")); }

}  // namespace qv::webpanels
