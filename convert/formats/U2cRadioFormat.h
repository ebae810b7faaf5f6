#pragma once

#include "TargetFormat.h"

namespace dorvane {

// "[0][name][address]" between start and end markers. Its files are named
// after the day they are saved.
class U2cRadioFormat final : public NamedTargetFormat {
public:
    U2cRadioFormat()
        : NamedTargetFormat({TTargetKind::tkU2CRadio, u"U2C Radio", u"u2c-radio", u"", u".txt"}) {}
    // Today in the user's short date format, then ".RadioList".
    QString defaultFileName() const override;
    void header(LineSink& out) const override;
    void header(ByteLineSink& out) const override;
    void entry(LineSink& out, QStringView channel, QStringView url, int n) const override;
    void entry(ByteLineSink& out, QByteArrayView channel, QByteArrayView url, int n) const override;
    void footer(LineSink& out, int count) const override;
    void footer(ByteLineSink& out, int count) const override;

    // The name for a given date, with the characters a file name cannot hold
    // (/ \ : * ? " < > |) turned into ".".
    static QString fileNameForDate(const QString& formattedDate);
};

} // namespace dorvane
