#pragma once

#include "convert/formats/Delimiters.h"
#include "convert/formats/TemplateFormat.h"

namespace dorvane {

// "[0][name][address]" between start and end markers. Its files are named
// after the day they are saved.
class U2cRadioFormat final : public TemplateFormat<U2cRadioFormat> {
public:
    U2cRadioFormat()
        : TemplateFormat({TTargetKind::tkU2CRadio, u"U2C Radio", u"u2c-radio", u"", u".txt"}) {}
    // Today in the user's short date format, then ".RadioList".
    QString defaultFileName() const override;

    // The name for a given date, with the characters a file name cannot hold
    // (/ \ : * ? " < > |) turned into ".".
    static QString fileNameForDate(const QString& formattedDate);

    template <typename Sink> static void writeHeader(Sink& out) {
        out.addLine({u"[NetRadioStart]"});
    }

    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, Text url, int) {
        out.addLine({u"[0][", channel, u"][", url, u"]"});
    }

    // The address is what follows the last "][" of the line: one that holds
    // "][" itself would be cut. A name may hold it.
    template <typename Text> static bool carries(Text, Text url) {
        return !delimiters::holds(url, "][");
    }

    template <typename Sink> static void writeFooter(Sink& out, int) {
        out.addLine({u"[NetRadioEnd]"});
    }
};

} // namespace dorvane
