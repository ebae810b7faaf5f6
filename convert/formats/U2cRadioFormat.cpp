#include "convert/formats/U2cRadioFormat.h"

#include <QDate>
#include <QLocale>

namespace dorvane {

QString U2cRadioFormat::fileNameForDate(const QString& formattedDate) {
    QString name = formattedDate;
    for (QChar& c : name)
        if (QStringView(u"/\\:*?\"<>|").contains(c))
            c = u'.';
    name += u".RadioList";
    return name;
}

QString U2cRadioFormat::defaultFileName() const {
    return fileNameForDate(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
}

} // namespace dorvane
