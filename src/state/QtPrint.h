#pragma once
// Diagnostic-line items of Qt types: texts as they are, file URLs as their address.
#include <QString>
#include <QUrl>

#include "util/Print.h"

namespace qv::util {
template <>
struct Printer<QString> {
    static std::string text(const QString& s) { return s.toStdString(); }
};
template <>
struct Printer<QUrl> {
    static std::string text(const QUrl& u) { return u.toString().toStdString(); }
};
}  // namespace qv::util
