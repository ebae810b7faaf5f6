#pragma once

#include "convert/formats/TemplateFormat.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace dorvane {

// A bouquet of IPTV services, named after the playlist (or as the user
// names it), of the service type the user chooses (TargetOptions). Each entry is a
// service line, whose fields are separated by ':' (the address and the name,
// its last field, escaped as the receiver reads them), and a description
// line with the name. Receivers read it as UTF-8, lines ending in LF.
class Enigma2Format final : public TemplateFormat<Enigma2Format> {
    template <typename Text>
    using Buffer = std::conditional_t<std::is_same_v<Text, QByteArrayView>, QByteArray, QString>;

public:
    Enigma2Format()
        : TemplateFormat({.kind = TTargetKind::tkEnigma2,
                          .caption = u"Enigma2 Bouquet",
                          .cliName = u"enigma2",
                          .defaultFileName = u"userbouquet.dorvane",
                          .extension = u".tv",
                          .lineEnd = LineEnd::Lf,
                          .utf8ByteOrderMark = false,
                          .allowsAnsi = false}) {}

    template <typename Sink> static void writeHeader(Sink& out, const SourceName& source) {
        const QString& name = out.options.bouquetName;
        out.addLine({u"#NAME ", name.isEmpty() ? source.text() : QStringView(name)});
    }

    // The service line as the receiver reads it: it decodes every %xx of
    // the address and the name, so '%', ':' (the field separator) and the
    // bytes below 0x20 are escaped as its own writer does; its players take
    // what follows the address's first '#' as headers joined by '&'. A
    // group starts with a marker service and its description.
    template <typename Sink, typename Text>
    static void writeEntry(Sink& out, Text channel, const ChannelAttributes<Text>& attributes,
                           int n) {
        thread_local Buffer<Text> urlBuffer;
        thread_local Buffer<Text> nameBuffer;
        thread_local Buffer<Text> valueBuffer;
        thread_local Buffer<Text> decodedBuffer;
        thread_local Buffer<Text> group;
        thread_local int groups = 0;
        if (n == 1) { // a run of its own, on this thread
            group.resize(0);
            groups = 0;
        }
        if (!attributes.group.isEmpty() && Text(group) != attributes.group) {
            group.resize(0); // keeps its room: groups change at nearly every entry
            group.append(attributes.group);
            char16_t digits[16];
            qsizetype size = 0;
            for (unsigned number = unsigned(++groups); number; number >>= 4)
                digits[size++] = u"0123456789abcdef"[number & 15];
            std::reverse(digits, digits + size);
            out.addLine({u"#SERVICE 1:64:", QStringView(digits, size), u":0:0:0:0:0:0:0::",
                         escaped(attributes.group, nameBuffer)});
            out.addLine({u"#DESCRIPTION ", attributes.group});
        }
        bool lost = false;
        const Text url = serviceAddress(attributes, urlBuffer, valueBuffer, decodedBuffer, lost);
        out.lost.headers += lost;
        const DecimalText type(out.options.enigma2Type);
        out.addLine(
            {u"#SERVICE ", type, u":0:1:0:0:0:0:0:0:0:", url, u":", escaped(channel, nameBuffer)});
        out.addLine({u"#DESCRIPTION ", channel});
    }

    // The service's address field: the address escaped, then the headers
    // its player takes, "#Name=Value&..." (after '&' when the address
    // holds a '#'); `lost` when a header cannot be carried.
    template <typename Text>
    static Text serviceAddress(const ChannelAttributes<Text>& attributes, Buffer<Text>& url,
                               Buffer<Text>& valueBuffer, Buffer<Text>& decodedBuffer, bool& lost) {
        url.resize(0);
        url.append(escaped(attributes.address, valueBuffer));
        bool first = !contains(attributes.address, '#');
        const bool headed = takesHeaders(attributes.address);
        for (int k = 0; k < kHeaderCount; ++k) {
            const auto header = static_cast<Header>(k);
            if (!attributes.headerRank[size_t(k)])
                continue;
            const Text value = headerValue(attributes, header, decodedBuffer);
            if (!headed || contains(value, '&')) {
                lost = true; // no player takes it, or the receiver would split it
                continue;
            }
            appendAscii(url, first ? u"#" : u"&");
            first = false;
            appendAscii(url, headerName(header));
            appendAscii(url, u"=");
            url.append(escaped(value, valueBuffer));
        }
        return Text(url);
    }
    // The same in bytes, written straight into the buffer's room (which it
    // keeps from entry to entry; only the view returned is the field): an
    // append to a QByteArray, a dozen an entry, cost more than the copy.
    static QByteArrayView serviceAddress(const ChannelAttributes<QByteArrayView>& attributes,
                                         QByteArray& url, QByteArray&, QByteArray& decodedBuffer,
                                         bool& lost) {
        qsizetype used = 0;
        // Room for `more` bytes after the `used` ones.
        const auto room = [&](qsizetype more) {
            if (url.size() - used < more)
                url.resize(std::max(used + more, 2 * url.size()));
            return url.data() + used;
        };
        used = putEscaped(room(3 * attributes.address.size()), attributes.address) - url.data();
        bool first = !contains(attributes.address, '#');
        const bool headed = takesHeaders(attributes.address);
        for (int k = 0; k < kHeaderCount; ++k) {
            const auto header = static_cast<Header>(k);
            if (!attributes.headerRank[size_t(k)])
                continue;
            const QByteArrayView value = headerValue(attributes, header, decodedBuffer);
            if (!headed || contains(value, '&')) {
                lost = true;
                continue;
            }
            const QStringView name = headerName(header);
            char* at = room(2 + name.size() + 3 * value.size());
            *at++ = first ? '#' : '&';
            first = false;
            for (const QChar c : name)
                *at++ = static_cast<char>(c.unicode());
            *at++ = '=';
            used = putEscaped(at, value) - url.data();
        }
        return QByteArrayView(url.constData(), used);
    }

    // The receiver's escaping of a service line's field: the text itself
    // when nothing needs it, else a view of `buffer`.
    template <typename Text> static Text escaped(Text text, Buffer<Text>& buffer) {
        qsizetype k = firstToEscape(text, 0);
        if (k == text.size())
            return text;
        buffer.resize(0);
        static constexpr char kHex[] = "0123456789abcdef";
        qsizetype from = 0; // the start of the run not copied yet
        for (; k < text.size(); k = firstToEscape(text, k + 1)) {
            const char32_t c = unit(text, k);
            buffer.append(text.sliced(from, k - from));
            const char16_t escape[] = {u'%', char16_t(kHex[c >> 4]), char16_t(kHex[c & 15])};
            appendAscii(buffer, QStringView(escape, 3));
            from = k + 1;
        }
        buffer.append(text.sliced(from));
        return Text(buffer);
    }

private:
    static char32_t unit(QStringView text, qsizetype k) { return text[k].unicode(); }
    static char32_t unit(QByteArrayView text, qsizetype k) {
        return static_cast<unsigned char>(text[k]);
    }
    template <typename Text, size_t N> static bool startsWith(Text text, const char (&word)[N]) {
        if (text.size() < qsizetype(N - 1))
            return false;
        for (size_t k = 0; k + 1 < N; ++k)
            if (unit(text, qsizetype(k)) != static_cast<unsigned char>(word[k]))
                return false;
        return true;
    }
    // The line rules' vectorised search (an address is long).
    template <typename Text> static bool contains(Text text, char c) {
        return attributes::indexOfUnit(text, c, 0) >= 0;
    }
    // Only the players of these take headers after the address.
    template <typename Text> static bool takesHeaders(Text address) {
        return startsWith(address, "http://") || startsWith(address, "https://") ||
               startsWith(address, "rtsp://");
    }
    // The receiver's escaping of `text` into `at`, by runs; returns the end.
    static char* putEscaped(char* at, QByteArrayView text) {
        static constexpr char kHex[] = "0123456789abcdef";
        qsizetype from = 0;
        for (qsizetype k = firstToEscape(text, 0); k < text.size();
             k = firstToEscape(text, k + 1)) {
            const auto c = static_cast<unsigned char>(text[k]);
            if (k > from)
                std::memcpy(at, text.data() + from, size_t(k - from));
            at += k - from;
            *at++ = '%';
            *at++ = kHex[c >> 4];
            *at++ = kHex[c & 15];
            from = k + 1;
        }
        if (text.size() > from)
            std::memcpy(at, text.data() + from, size_t(text.size() - from));
        return at + (text.size() - from);
    }
    static void appendAscii(QString& to, QStringView text) { to.append(text); }
    static bool needsEscape(char32_t c) { return c == '%' || c == ':' || c < 0x20; }
    // Where the first character from `from` on that the receiver's writer
    // escapes stands, or the text's size.
    static qsizetype firstToEscape(QStringView text, qsizetype from) {
        while (from < text.size() && !needsEscape(text[from].unicode()))
            ++from;
        return from;
    }
    // Eight bytes at a time: a service line's fields are long addresses
    // with an escape or two.
    static qsizetype firstToEscape(QByteArrayView text, qsizetype from) {
        constexpr quint64 kOnes = 0x0101010101010101;
        constexpr quint64 kHigh = 0x8080808080808080;
        const auto zeroByte = [](quint64 v) { return (v - kOnes) & ~v & kHigh; };
        for (; text.size() - from >= 8; from += 8) {
            quint64 word;
            std::memcpy(&word, text.data() + from, 8);
            // A byte below 0x20 (its high bit clear), '%' or ':'.
            const quint64 hits = ((word - kOnes * 0x20) & ~word & kHigh) |
                                 zeroByte(word ^ (kOnes * '%')) | zeroByte(word ^ (kOnes * ':'));
            if (hits)
                break;
        }
        while (from < text.size() && !needsEscape(static_cast<unsigned char>(text[from])))
            ++from;
        return from;
    }

    // Short ASCII texts (escapes, header names), in one append.
    static void appendAscii(QByteArray& to, QStringView text) {
        char bytes[16];
        for (qsizetype from = 0; from < text.size(); from += qsizetype(sizeof bytes)) {
            const qsizetype size = std::min<qsizetype>(text.size() - from, sizeof bytes);
            for (qsizetype k = 0; k < size; ++k)
                bytes[k] = static_cast<char>(text[from + k].unicode());
            to.append(bytes, size);
        }
    }
};

} // namespace dorvane
