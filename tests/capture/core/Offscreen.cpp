#include <QByteArray>
#include <QtGlobal>

// These tests draw into images only: no display is needed.
namespace {
const bool offscreen = qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}
