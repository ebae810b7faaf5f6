#include "OpenBoxFormat.h"

#include "LineSink.h"

namespace dorvane {

void OpenBoxFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    out.addLine({u"[TITLE]"});
    out.addLine({u"OPENBOX"});
    out.addLine({u"[URL]"});
    out.addLine({url});
    out.addLine({u"[DESCRIPTION]"});
    out.addLine({channel});
    out.addLine({u"[TYPE]"});
    out.addLine({u"FILE"});
    out.addLine({});
}

} // namespace dorvane
