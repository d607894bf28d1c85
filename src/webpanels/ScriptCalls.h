#pragma once
// The script texts through which native code calls the functions of our pages, and the picture
// format those calls carry.
//
// Every text argument is written as a complete JavaScript string literal: window names come from
// other programs and may hold quotes, backslashes, line breaks or "</script>".
#include <QImage>
#include <QString>

namespace qv::webpanels {

// The window number that stands for the document camera's live picture.
inline constexpr int docCamWindowNumber = -100;

// `text` as a single-quoted JavaScript string literal that evaluates to exactly `text`. Printable
// ASCII other than quotes, backslash and the HTML-significant < > & stays as it is; everything
// else is written as \uXXXX (UTF-16 code units), so the literal is plain ASCII.
QString javaScriptStringLiteral(const QString& text);

// "showTunnelWindow(<n>, '<picture>', '<name>')": the page shows picture window n.
QString showTunnelWindowCall(qint64 windowNumber, const QString& dataAddress, const QString& name);
// "renderTunnelWindow(<n>, '<picture>')": a new picture of window n; '' when there is none.
QString renderTunnelWindowCall(qint64 windowNumber, const QString& dataAddress);
// "allowAnnotation(true)" or "allowAnnotation(false)".
QString allowAnnotationCall(bool allowed);

// "data:image/jpeg;base64," followed by the Base64 text of the picture's JPEG encoding; empty
// when the picture is null or cannot be encoded.
QString jpegDataAddress(const QImage& picture);

}  // namespace qv::webpanels
