#include "webpanels/ScriptCalls.h"

#include <QBuffer>
#include <QByteArray>

namespace qv::webpanels {

QString javaScriptStringLiteral(const QString& text) {
    static const char* const hex = "0123456789abcdef";
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('\'');
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool plain = u >= 0x20 && u < 0x7f && u != '\'' && u != '"' && u != '\\' && u != '<' &&
                           u != '>' && u != '&';
        if (plain) {
            out += c;
            continue;
        }
        out += QLatin1String("\\u");
        out += QLatin1Char(hex[(u >> 12) & 0xf]);
        out += QLatin1Char(hex[(u >> 8) & 0xf]);
        out += QLatin1Char(hex[(u >> 4) & 0xf]);
        out += QLatin1Char(hex[u & 0xf]);
    }
    out += QLatin1Char('\'');
    return out;
}

QString showTunnelWindowCall(qint64 windowNumber, const QString& dataAddress, const QString& name) {
    return QStringLiteral("showTunnelWindow(%1, %2, %3)")
        .arg(windowNumber)
        .arg(javaScriptStringLiteral(dataAddress), javaScriptStringLiteral(name));
}

QString renderTunnelWindowCall(qint64 windowNumber, const QString& dataAddress) {
    return QStringLiteral("renderTunnelWindow(%1, %2)").arg(windowNumber).arg(javaScriptStringLiteral(dataAddress));
}

QString allowAnnotationCall(bool allowed) {
    return allowed ? QStringLiteral("allowAnnotation(true)") : QStringLiteral("allowAnnotation(false)");
}

QString jpegDataAddress(const QImage& picture) {
    if (picture.isNull()) return {};
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    // JPEG has no alpha: flatten onto black as the platform encoder does.
    const QImage opaque = picture.hasAlphaChannel() ? picture.convertToFormat(QImage::Format_RGB32) : picture;
    if (!opaque.save(&buffer, "JPEG")) return {};
    return QStringLiteral("data:image/jpeg;base64,") + QString::fromLatin1(jpeg.toBase64());
}

}  // namespace qv::webpanels
