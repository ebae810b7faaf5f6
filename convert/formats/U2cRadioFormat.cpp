#include "U2cRadioFormat.h"

#include "LineSink.h"

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

void U2cRadioFormat::header(LineSink& out) const {
    out.addLine({u"[NetRadioStart]"});
}

void U2cRadioFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    out.addLine({u"[0][", channel, u"][", url, u"]"});
}

void U2cRadioFormat::footer(LineSink& out, int) const {
    out.addLine({u"[NetRadioEnd]"});
}

} // namespace dorvane
