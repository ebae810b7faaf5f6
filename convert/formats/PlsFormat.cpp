#include "PlsFormat.h"

#include "LineSink.h"

namespace dorvane {

void PlsFormat::header(LineSink& out) const {
    out.addLine({u"[playlist]"});
    out.addLine({});
}

void PlsFormat::entry(LineSink& out, QStringView channel, QStringView url, int n) const {
    const DecimalText number(n);
    out.addLine({u"File", number, u"=", url});
    out.addLine({u"Title", number, u"=", channel});
    out.addLine({u"Length", number, u"=0"});
    out.addLine({});
}

void PlsFormat::footer(LineSink& out, int count) const {
    out.addLine({u"NumberOfEntries=", DecimalText(count)});
    out.addLine({});
    out.addLine({u"Version=2"});
    out.addLine({});
}

} // namespace dorvane
