#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QString>

namespace dorvane {

// Every image of an icon (.ico) file, in the file's order, with its
// transparency. Qt's own icon reader drops the 1-bit mask of 24-bit entries
// and shows their transparent parts black, so the mask of those is applied
// here. Returns no image when the file cannot be read.
QList<QImage> readIconFile(const QString& path);

// The icon file as a QIcon holding all of its sizes, for window icons.
QIcon iconFromFile(const QString& path);

} // namespace dorvane
