#include "convert/ChannelAttributes.h"

namespace dorvane {

QStringView headerValue(const ChannelAttributes<QStringView>& channel, Header header,
                        QString& buffer) {
    const auto k = static_cast<size_t>(header);
    if (channel.headerRank[k] != 1)
        return channel.headers[k];
    buffer = QString::fromUtf8(QByteArray::fromPercentEncoding(channel.headers[k].toUtf8()));
    return buffer;
}

QByteArrayView headerValue(const ChannelAttributes<QByteArrayView>& channel, Header header,
                           QByteArray& buffer) {
    const auto k = static_cast<size_t>(header);
    if (channel.headerRank[k] != 1)
        return channel.headers[k];
    // Decoded bytes that are no UTF-8 are written as the text path writes
    // them: each ill-formed part as U+FFFD.
    buffer = QString::fromUtf8(QByteArray::fromPercentEncoding(channel.headers[k].toByteArray()))
                 .toUtf8();
    return buffer;
}

QStringView headerName(Header header) {
    switch (header) {
    case Header::UserAgent:
        return u"User-Agent";
    case Header::Referer:
        return u"Referer";
    case Header::Origin:
        return u"Origin";
    }
    return {};
}

} // namespace dorvane
