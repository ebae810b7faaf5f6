#include "convert/guide/EpgImport.h"

#include "playlist/ShownText.h"

#include <QCryptographicHash>
#include <QSet>
#include <QUrl>

namespace dorvane::guide {

namespace {

void appendEscaped(QByteArray& to, const QString& text) {
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&':
            to += "&amp;";
            break;
        case '<':
            to += "&lt;";
            break;
        case '>':
            to += "&gt;";
            break;
        case '"':
            to += "&quot;";
            break;
        default:
            to += QString(c).toUtf8();
        }
    }
}

// A comment's text: "--" may not stand in it.
QByteArray commentText(const QString& text) {
    QByteArray bytes = text.toUtf8();
    while (bytes.contains("--"))
        bytes.replace("--", "- -");
    if (bytes.endsWith('-'))
        bytes += ' ';
    return bytes;
}

QByteArray hex(quint16 n) {
    return QByteArray::number(n, 16).toUpper();
}

// The address without what follows its first `mark`: the "|Name=Value"
// headers of a playlist's address, or the "#Name=Value" ones of a
// bouquet's, which the receiver reads from http, https and rtsp addresses.
QString withoutHeaders(const QString& address, char mark) {
    if (mark == '#' && !address.startsWith(u"http://") && !address.startsWith(u"https://") &&
        !address.startsWith(u"rtsp://"))
        return address;
    const qsizetype at = address.indexOf(QLatin1Char(mark));
    return at < 0 ? address : address.first(at);
}

} // namespace

QString ServiceIds::text() const {
    return QString::fromLatin1(hex(sid) + ':' + hex(tid) + ':' + hex(nid));
}

ServiceIds ServiceIds::fromText(QStringView text) {
    const QList<QStringView> parts = text.split(u':');
    if (parts.size() != 3)
        return {};
    quint16 numbers[3] = {};
    for (int k = 0; k < 3; ++k) {
        bool ok = false;
        const uint n = parts[k].toUInt(&ok, 16);
        if (!ok || n == 0 || n > 0xFFFF)
            return {};
        numbers[k] = quint16(n);
    }
    return {numbers[0], numbers[1], numbers[2]};
}

QByteArray serviceFields(const ServiceIds& ids) {
    return "0:1:" + hex(ids.sid) + ':' + hex(ids.tid) + ':' + hex(ids.nid) + ":0:0:0:0:";
}

std::vector<ServiceIds> serviceIdsFor(const QString& listName, const QStringList& keys,
                                      const QHash<QString, ServiceIds>& kept) {
    std::vector<ServiceIds> ids(size_t(keys.size()));
    QSet<quint64> taken;
    const auto packed = [](const ServiceIds& i) {
        return (quint64(i.sid) << 32) | (quint64(i.tid) << 16) | i.nid;
    };
    // The kept ones first: they stay what they were.
    for (qsizetype k = 0; k < keys.size(); ++k) {
        const ServiceIds known = kept.value(keys[k]);
        if (!known.isNull() && !taken.contains(packed(known))) {
            ids[size_t(k)] = known;
            taken.insert(packed(known));
        }
    }
    for (qsizetype k = 0; k < keys.size(); ++k) {
        ServiceIds& id = ids[size_t(k)];
        if (!id.isNull())
            continue;
        const QByteArray hash = QCryptographicHash::hash((listName + u'\n' + keys[k]).toUtf8(),
                                                         QCryptographicHash::Sha1);
        const auto word = [&](int at) {
            return quint16((quint8(hash[at]) << 8) | quint8(hash[at + 1]));
        };
        id = {word(0), word(2), word(4)};
        id.tid = id.tid ? id.tid : 1;
        id.nid = id.nid ? id.nid : 1;
        if (id.sid == 0)
            id.sid = 1;
        while (taken.contains(packed(id)))
            id.sid = id.sid == 0xFFFF ? 1 : quint16(id.sid + 1);
        taken.insert(packed(id));
    }
    return ids;
}

QByteArray withServiceIds(QByteArrayView bouquet, const QStringList& addresses,
                          const QStringList& names, const std::vector<ServiceIds>& ids) {
    QByteArray out;
    out.reserve(bouquet.size() + bouquet.size() / 8);
    qsizetype next = 0; // the channel the next entry is looked for from
    qsizetype from = 0;
    while (from < bouquet.size()) {
        qsizetype end = bouquet.indexOf('\n', from);
        end = end < 0 ? bouquet.size() : end + 1;
        const QByteArrayView line = bouquet.sliced(from, end - from);
        from = end;
        if (!line.startsWith("#SERVICE ")) {
            out += line;
            continue;
        }
        // TYPE:0:1:SID:TID:NID:NS:0:0:0:ADDRESS:NAME
        const QByteArrayView fields = line.sliced(9);
        qsizetype colon = -1;
        int count = 0;
        while (count < 10 && (colon = fields.indexOf(':', colon + 1)) >= 0)
            ++count;
        if (count < 10) {
            out += line;
            continue;
        }
        const qsizetype type = fields.indexOf(':');
        QByteArrayView rest = fields.sliced(colon + 1);
        while (rest.endsWith('\n') || rest.endsWith('\r'))
            rest.chop(1);
        // Read as the receiver reads it: the escaped address and name hold
        // no ':' of their own, every %xx is decoded, and what follows the
        // first '#' of an address the receiver streams is its headers.
        const qsizetype separator = rest.indexOf(':');
        if (separator < 0) {
            out += line;
            continue;
        }
        const QString address =
            withoutHeaders(QUrl::fromPercentEncoding(rest.first(separator).toByteArray()), '#');
        const QString name = QUrl::fromPercentEncoding(rest.sliced(separator + 1).toByteArray());
        qsizetype found = -1;
        for (qsizetype k = next; k < addresses.size() && found < 0; ++k) {
            QString shownAddress, shownName;
            const QString written = withoutHeaders(withoutHeaders(addresses[k], '|'), '#');
            if (shown::forTarget(QStringView(written), shownAddress) == address &&
                shown::forTarget(QStringView(names[k]), shownName) == name)
                found = k;
        }
        if (found < 0) {
            out += line;
            continue;
        }
        next = found + 1;
        out += "#SERVICE ";
        out += fields.first(type + 1);
        out += serviceFields(ids[size_t(found)]);
        out += fields.sliced(colon + 1);
    }
    return out;
}

QByteArray importChannelsXml(const std::vector<ImportChannel>& channels) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<channels>\n";
    for (const ImportChannel& channel : channels) {
        xml += "<channel id=\"";
        appendEscaped(xml, channel.guideId);
        xml += "\">1:" + serviceFields(channel.ids) + "</channel><!-- " +
               commentText(channel.name) + " -->\n";
    }
    return xml + "</channels>\n";
}

QByteArray importSourcesXml(const QString& prefix, const QString& listName,
                            const QStringList& guides) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<sources>\n<sourcecat "
                     "sourcecatname=\"";
    appendEscaped(xml, listName);
    xml += "\">\n";
    for (const QString& guide : guides) {
        xml += "<source type=\"gen_xmltv\" nocheck=\"1\" channels=\"";
        appendEscaped(xml, prefix + QStringLiteral(".channels.xml"));
        xml += "\">\n<description>";
        appendEscaped(xml, listName);
        xml += "</description>\n<url><![CDATA[";
        xml += guide.toUtf8().replace("]]>", "]]]]><![CDATA[>");
        xml += "]]></url>\n</source>\n";
    }
    return xml + "</sourcecat>\n</sources>\n";
}

} // namespace dorvane::guide
