#pragma once

// Readable GoogleTest output for Qt's string types.
#include <QByteArray>
#include <QString>
#include <QStringView>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(QStringView s, std::ostream* os) {
    PrintTo(s.toString(), os);
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '[' << b.toHex(' ').toStdString() << ']';
}
QT_END_NAMESPACE
