#include "IptvxFormat.h"

#include "LineSink.h"
#include "XmlText.h"

namespace dorvane {

void IptvxFormat::header(LineSink& out) const {
    out.addLine({u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"});
    out.addLine({u"<items>"});
}

void IptvxFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    thread_local QString nameBuffer;
    thread_local QString urlBuffer;
    out.addLine({u"<channel>"});
    out.addLine({u"    <title>", xmlElementText(channel, nameBuffer), u"</title>"});
    out.addLine({u"    <description></description>"});
    out.addLine(
        {u"    <stream_url><![CDATA[", xmlCDataContent(url, urlBuffer), u"]]></stream_url>"});
    out.addLine({u"</channel>"});
}

void IptvxFormat::footer(LineSink& out, int) const {
    out.addLine({u"</items>"});
}

} // namespace dorvane
