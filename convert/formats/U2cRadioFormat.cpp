#include "U2cRadioFormat.h"

#include "ByteLineSink.h"
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

namespace {

template <typename Sink> void writeHeader(Sink& out) {
    out.addLine({u"[NetRadioStart]"});
}

template <typename Sink, typename Text> void writeEntry(Sink& out, Text channel, Text url) {
    out.addLine({u"[0][", channel, u"][", url, u"]"});
}

template <typename Sink> void writeFooter(Sink& out) {
    out.addLine({u"[NetRadioEnd]"});
}

} // namespace

void U2cRadioFormat::header(LineSink& out) const {
    writeHeader(out);
}

void U2cRadioFormat::header(ByteLineSink& out) const {
    writeHeader(out);
}

void U2cRadioFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    writeEntry(out, channel, url);
}

void U2cRadioFormat::entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url,
                           int) const {
    writeEntry(out, channel, url);
}

void U2cRadioFormat::footer(LineSink& out, int) const {
    writeFooter(out);
}

void U2cRadioFormat::footer(ByteLineSink& out, int) const {
    writeFooter(out);
}

} // namespace dorvane
