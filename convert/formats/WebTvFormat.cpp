#include "WebTvFormat.h"

#include "LineSink.h"
#include "XmlText.h"

namespace dorvane {

void WebTvFormat::header(LineSink& out) const {
    out.addLine({u"<?xml version=\"1.0\"?>"});
    out.addLine({u"<webtvs>"});
}

void WebTvFormat::entry(LineSink& out, QStringView channel, QStringView url, int) const {
    thread_local QString nameBuffer;
    thread_local QString urlBuffer;
    const QStringView name = xmlAttributeValue(channel, nameBuffer);
    out.addLine({u"<webtv title=\"", name, u"\" urlkey=\"0\" url=\"",
                 xmlAttributeValue(url, urlBuffer), u"\" description=\"", name,
                 u"\" type=\"1\" group=\"1\" iconsrc=\"\"/>"});
}

void WebTvFormat::footer(LineSink& out, int) const {
    out.addLine({u"</webtvs>"});
}

} // namespace dorvane
