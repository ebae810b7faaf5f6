#include "OpenBoxSxFormat.h"

#include "LineSink.h"

namespace dorvane {

void OpenBoxSxFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    out.addLine({u"[TITLE]"});
    out.addLine({channel});
    out.addLine({u"[URL]"});
    out.addLine({url});
    out.addLine({u"[DESCRIPTION]"});
    out.addLine({channel});
    out.addLine({u"[TYPE]"});
    out.addLine({u"LIVE"});
    out.addLine({});
}

} // namespace dorvane
