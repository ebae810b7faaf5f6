#include "playlist/Download.h"

#include "playlist/Errors.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/SystemError.h"
#include "playlist/WebAddress.h"

#include <QEventLoop>
#include <QTcpSocket>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

#include <zlib.h>

#include <algorithm>

#ifndef DORVANE_VERSION
#define DORVANE_VERSION "unknown"
#endif

namespace dorvane {

namespace {

constexpr int kMaxRedirects = 10;
constexpr int kProgressIntervalMs = 100;
// What the socket holds before this reads it: without a limit a fast
// server's bytes pile up there while the event loop is busy.
constexpr qint64 kReadBufferSize = 1 << 20;
// A reply's head (status line and headers) longer than this is no playlist
// server's: 64 KiB is what the common servers accept for a request's.
constexpr qsizetype kMaxHeadSize = 64 * 1024;
constexpr qsizetype kMaxChunkLine = 1024;
constexpr qsizetype kInflateRoom = 256 * 1024;

QString tooLargeText() {
    return QStringLiteral("File too large");
}

QString connectionClosedText() {
    return QStringLiteral("Connection closed");
}

// The standard phrase of a status; empty for one HTTP does not define.
QLatin1StringView standardPhrase(int status) {
    static constexpr struct {
        int status;
        const char* phrase;
    } kPhrases[] = {
        {300, "Multiple Choices"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {305, "Use Proxy"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {402, "Payment Required"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {409, "Conflict"},
        {410, "Gone"},
        {411, "Length Required"},
        {412, "Precondition Failed"},
        {413, "Content Too Large"},
        {414, "URI Too Long"},
        {415, "Unsupported Media Type"},
        {416, "Range Not Satisfiable"},
        {417, "Expectation Failed"},
        {421, "Misdirected Request"},
        {422, "Unprocessable Content"},
        {426, "Upgrade Required"},
        {428, "Precondition Required"},
        {429, "Too Many Requests"},
        {431, "Request Header Fields Too Large"},
        {451, "Unavailable For Legal Reasons"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
        {511, "Network Authentication Required"},
    };
    for (const auto& known : kPhrases)
        if (known.status == status)
            return QLatin1StringView(known.phrase);
    return {};
}

// "404 Not Found": the status and the standard phrase for it. The server's
// own words are not shown: they are whatever it likes, escape sequences for
// the terminal or the request line with its secrets echoed back.
QString httpStatusText(int status) {
    const QLatin1StringView phrase = standardPhrase(status);
    return phrase.isEmpty() ? QString::number(status)
                            : QStringLiteral("%1 %2").arg(status).arg(phrase);
}

// The statuses that send the client elsewhere, with a Location.
bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isDigits(QByteArrayView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The body's length as the Content-Length headers give it: -1 when there is
// none, -2 when one is not a number, -3 when they disagree. A body whose
// length is in doubt is refused, as curl refuses it: the two ends may see
// its end in different places.
qint64 declaredLength(const QList<QByteArray>& fields) {
    qint64 length = -1;
    for (const QByteArray& field : fields) {
        for (const QByteArray& value : field.split(',')) {
            const QByteArray digits = value.trimmed();
            if (!isDigits(digits) || digits.size() > 18)
                return -2;
            const qint64 number = digits.toLongLong();
            if (length >= 0 && number != length)
                return -3;
            length = number;
        }
    }
    return length;
}

// The end of a reply's head: the index just past its empty line, or -1.
qsizetype headEnd(const QByteArray& head) {
    const qsizetype lf = head.indexOf("\n\n");
    const qsizetype crlf = head.indexOf("\n\r\n");
    if (lf < 0 && crlf < 0)
        return -1;
    if (crlf < 0 || (lf >= 0 && lf < crlf))
        return lf + 2;
    return crlf + 3;
}

} // namespace

// zlib's inflater for a gzip or deflate body.
struct Download::Inflater {
    z_stream stream{};
    bool ended = false;
    bool guessRaw; // "deflate": some servers send it without its zlib wrapper
    bool started = false;

    explicit Inflater(bool deflate) : guessRaw(deflate) {}
    ~Inflater() {
        if (started)
            inflateEnd(&stream);
    }
};

QString Download::userAgent() {
    return QStringLiteral("Dorvane/" DORVANE_VERSION);
}

Download::Download(const QUrl& url, const DownloadLimits& limits, QObject* parent)
    : Download(url, nullptr, limits, parent) {}

Download::Download(const QUrl& url, BodySink* sink, const DownloadLimits& limits, QObject* parent)
    : QObject(parent), m_url(url), m_current(url), m_limits(limits), m_sink(sink) {
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, &Download::checkStall);
    if (!isWebScheme(url) || url.host().isEmpty()) {
        fail(QStringLiteral("Only http:// and https:// addresses can be opened"));
        return;
    }
    request(url);
}

Download::~Download() {
    dropSocket();
}

QString Download::errorMessage() const {
    if (m_sinkFailure)
        return m_failure;
    return cannotOpenUrlText(m_url, m_failure);
}

void Download::request(const QUrl& url) {
    const bool tls = url.scheme() == u"https";
    const quint16 port = static_cast<quint16>(url.port(tls ? 443 : 80));
#if QT_CONFIG(ssl)
    if (tls) {
        if (!QSslSocket::supportsSsl()) {
            fail(QStringLiteral("No TLS library could be loaded"));
            return;
        }
        auto* socket = new QSslSocket(this);
        // The system's authorities (the default configuration's); the name
        // checked is the host's.
        socket->setPeerVerifyMode(QSslSocket::VerifyPeer);
        connect(socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
            fail(errors.isEmpty() ? QStringLiteral("TLS handshake failed")
                                  : errors.constFirst().errorString());
        });
        m_socket = socket;
    } else {
        m_socket = new QTcpSocket(this);
    }
#else
    if (tls) {
        fail(QStringLiteral("This build cannot open https:// addresses"));
        return;
    }
    m_socket = new QTcpSocket(this);
#endif
    m_socket->setReadBufferSize(kReadBufferSize);

    // The request: the path and query as sent on the wire, the host with
    // its port, and the user part's credentials, as curl sends them.
    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/'))
        target.prepend('/'); // "http://h" or "http://h?x=1"
    QUrl authority = url;
    authority.setUserInfo({});
    QByteArray head = "GET " + target +
                      " HTTP/1.1\r\nHost: " + authority.authority(QUrl::FullyEncoded).toLatin1() +
                      "\r\nUser-Agent: " + userAgent().toUtf8() +
                      "\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\nConnection: close\r\n";
    if (!url.userName().isEmpty())
        head += "Authorization: Basic " +
                (url.userName(QUrl::FullyDecoded) + u':' + url.password(QUrl::FullyDecoded))
                    .toUtf8()
                    .toBase64() +
                "\r\n";
    head += "\r\n";

    const auto send = [this, head] {
        m_lastByte.start();
        m_socket->write(head);
    };
    connect(m_socket, &QIODevice::readyRead, this, &Download::onReadyRead);
    connect(m_socket, &QAbstractSocket::disconnected, this, &Download::onClosed);
    connect(m_socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError)
                    onClosed();
                else
                    fail(socketErrorText());
            });
    const QString host = url.host(QUrl::FullyEncoded);
#if QT_CONFIG(ssl)
    if (tls) {
        auto* socket = static_cast<QSslSocket*>(m_socket);
        connect(socket, &QSslSocket::encrypted, this, send);
        socket->connectToHostEncrypted(host, port);
    } else
#endif
    {
        connect(m_socket, &QAbstractSocket::connected, this, send);
        m_socket->connectToHost(host, port);
    }

    m_stage = Stage::Head;
    m_head.clear();
    m_lastByte.start();
    checkStall();
}

void Download::checkStall() {
    using namespace std::chrono;
    if (m_status != Status::Running)
        return;
    const milliseconds left = m_limits.stallTimeout - milliseconds(m_lastByte.elapsed());
    if (left <= 0ms) {
        fail(QStringLiteral("Timed out"));
        return;
    }
    // A byte that came meanwhile only moved the deadline: the timer wakes at
    // the old one and waits again for the rest.
    m_stall.start(std::min<milliseconds>(left, hours(24)));
}

void Download::onReadyRead() {
    while (m_status == Status::Running && m_socket && m_socket->bytesAvailable() > 0) {
        m_lastByte.start();
        if (m_stage == Stage::Head) {
            const qsizetype old = m_head.size();
            m_head += m_socket->read(kMaxHeadSize + 1 - old);
            if (!readHead())
                return;
            continue;
        }
        // An unpacked body of known framing goes straight into the result,
        // without a QByteArray per piece.
        if (!m_inflater && m_framing != Framing::Chunked) {
            qint64 available = m_socket->bytesAvailable();
            if (m_framing == Framing::Length)
                available = std::min(available, m_left);
            if (m_received + available > m_limits.maxBytes) {
                fail(tooLargeText());
                return;
            }
            qint64 got = 0;
            if (m_sink) {
                // The socket's own buffer, handed on as it is: read() gives
                // its block whole, without a copy, when it asks for all of it.
                const QByteArray piece = m_socket->read(available);
                got = piece.size();
                m_received += got;
                if (got > 0 && !toSink(piece))
                    return;
            } else {
                const qsizetype old = m_bytes.size();
                m_bytes.resize(old + static_cast<qsizetype>(available));
                got = std::max<qint64>(m_socket->read(m_bytes.data() + old, available), 0);
                m_bytes.resize(old + static_cast<qsizetype>(got));
                m_received = m_bytes.size();
            }
            if (m_framing == Framing::Length) {
                m_left -= got;
                if (m_left == 0) {
                    succeed();
                    return;
                }
            }
            reportProgress(false);
            continue;
        }
        m_scratch.resize(std::min<qint64>(m_socket->bytesAvailable(), kReadBufferSize));
        const qint64 got = m_socket->read(m_scratch.data(), m_scratch.size());
        if (got <= 0)
            return;
        readBody(QByteArrayView(m_scratch.constData(), got));
    }
}

// Reads the head once it is whole: false when the download ended or went
// elsewhere (the body, if any, is then read by the caller's loop).
bool Download::readHead() {
    for (;;) {
        const qsizetype end = headEnd(m_head);
        if (end < 0) {
            if (m_head.size() > kMaxHeadSize)
                fail(QStringLiteral("The reply's head is too large"));
            return m_status == Status::Running;
        }
        // "HTTP/1.1 200 Whatever": only the number counts.
        const QList<QByteArray> lines = m_head.first(end).split('\n');
        const QByteArray statusLine = lines.first().trimmed();
        const QByteArray code = statusLine.mid(9, 3);
        if (!statusLine.startsWith("HTTP/1.") || statusLine.size() < 12 || statusLine[8] != ' ' ||
            !isDigits(code) || (statusLine.size() > 12 && statusLine[12] != ' ')) {
            fail(QStringLiteral("Not an HTTP reply"));
            return false;
        }
        const int status = code.toInt();
        QList<std::pair<QByteArray, QByteArray>> fields;
        for (qsizetype k = 1; k < lines.size(); ++k) {
            const QByteArray& line = lines[k];
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            fields.append(
                {line.first(colon).trimmed().toLower(), line.sliced(colon + 1).trimmed()});
        }
        m_head.remove(0, end);
        // 1xx: a head before the real one.
        if (status >= 100 && status < 200 && status != 101)
            continue;
        const QByteArray rest = std::exchange(m_head, {});
        if (!startBody(status, fields))
            return false;
        if (!rest.isEmpty())
            readBody(rest);
        return m_status == Status::Running;
    }
}

// Decides what the head means: elsewhere, a failure, or a body to read.
bool Download::startBody(int status, const QList<std::pair<QByteArray, QByteArray>>& fields) {
    const auto field = [&](QByteArrayView name) {
        for (const auto& [key, value] : fields)
            if (key == name)
                return value;
        return QByteArray();
    };
    if (status >= 300 && status < 400 && isRedirectStatus(status)) {
        const QByteArray location = field("location");
        const QUrl target = QUrl(QString::fromUtf8(location));
        if (location.isEmpty() || !target.isValid()) {
            fail(QStringLiteral("Redirect (%1) without a location").arg(status));
            return false;
        }
        follow(target);
        return false;
    }
    if (status < 200 || status >= 300) {
        fail(httpStatusText(status)); // its page is of no use
        return false;
    }

    QList<QByteArray> lengths;
    for (const auto& [key, value] : fields)
        if (key == "content-length")
            lengths.append(value);
    const qint64 size = declaredLength(lengths);
    if (size == -2 || size == -3) {
        fail(size == -2 ? QStringLiteral("Invalid Content-Length")
                        : QStringLiteral("Conflicting Content-Length headers"));
        return false;
    }
    const QByteArray transfer = field("transfer-encoding").toLower();
    if (!transfer.isEmpty() && transfer != "identity") {
        if (transfer != "chunked") {
            fail(QStringLiteral("Unsupported Transfer-Encoding"));
            return false;
        }
        m_framing = Framing::Chunked;
        m_chunkStage = ChunkStage::Size;
        m_line.clear();
    } else if (size >= 0) {
        m_framing = Framing::Length;
        m_left = size;
    } else {
        m_framing = Framing::Close;
    }
    if (size > m_limits.maxBytes) {
        fail(tooLargeText());
        return false;
    }
    const QByteArray packing = field("content-encoding").toLower();
    if (packing == "gzip" || packing == "x-gzip" || packing == "deflate") {
        m_inflater = std::make_unique<Inflater>(packing == "deflate");
    } else if (!packing.isEmpty() && packing != "identity") {
        fail(QStringLiteral("Unsupported Content-Encoding"));
        return false;
    } else if (m_framing == Framing::Length) {
        m_total = size;
        if (!m_sink) {
            m_bytes.reserve(static_cast<qsizetype>(size));
            adviseHugePages(m_bytes.data(), m_bytes.capacity());
        }
    }
    m_stage = Stage::Body;
    if (m_sink) {
        try {
            m_sink->begin(m_total);
        } catch (...) {
            m_sinkFailure = std::current_exception();
        }
        if (m_sinkFailure) {
            toSink({}); // fails with it
            return false;
        }
    }
    if (m_framing == Framing::Length && m_left == 0)
        succeed();
    return m_status == Status::Running;
}

// Raw body bytes that need a look: chunked, packed, or both.
void Download::readBody(QByteArrayView raw) {
    while (m_status == Status::Running && !raw.isEmpty()) {
        if (m_framing == Framing::Chunked) {
            if (!readChunked(raw))
                return;
            continue;
        }
        QByteArrayView piece = raw;
        if (m_framing == Framing::Length)
            piece = raw.first(std::min<qint64>(raw.size(), m_left));
        raw = {};
        if (!take(piece))
            return;
        if (m_framing == Framing::Length) {
            m_left -= piece.size();
            if (m_left == 0) {
                succeed();
                return;
            }
        }
    }
    reportProgress(false);
}

// One step of a chunked body; false when the download ended.
bool Download::readChunked(QByteArrayView& raw) {
    const auto line = [&]() -> bool { // true once m_line holds a whole line
        const qsizetype lf = raw.indexOf('\n');
        m_line += raw.first(lf < 0 ? raw.size() : lf + 1);
        raw = lf < 0 ? QByteArrayView() : raw.sliced(lf + 1);
        if (m_line.size() > kMaxChunkLine) {
            fail(QStringLiteral("Invalid chunked body"));
            return false;
        }
        return m_line.endsWith('\n');
    };
    switch (m_chunkStage) {
    case ChunkStage::Size: {
        if (!line())
            return m_status == Status::Running;
        // "1a2b;extension": hexadecimal digits up to any extension.
        QByteArray digits = m_line.trimmed();
        if (const qsizetype semicolon = digits.indexOf(';'); semicolon >= 0)
            digits = digits.first(semicolon).trimmed();
        m_line.clear();
        bool ok = digits.size() <= 15 && !digits.isEmpty();
        const qint64 size = ok ? digits.toLongLong(&ok, 16) : 0;
        if (!ok || size < 0) {
            fail(QStringLiteral("Invalid chunked body"));
            return false;
        }
        m_left = size;
        m_chunkStage = size == 0 ? ChunkStage::Trailer : ChunkStage::Data;
        return true;
    }
    case ChunkStage::Data: {
        const QByteArrayView piece = raw.first(std::min<qint64>(raw.size(), m_left));
        raw = raw.sliced(piece.size());
        m_left -= piece.size();
        if (m_left == 0)
            m_chunkStage = ChunkStage::DataEnd;
        return take(piece);
    }
    case ChunkStage::DataEnd:
        if (!line())
            return m_status == Status::Running;
        if (!m_line.trimmed().isEmpty()) {
            fail(QStringLiteral("Invalid chunked body"));
            return false;
        }
        m_line.clear();
        m_chunkStage = ChunkStage::Size;
        return true;
    case ChunkStage::Trailer:
        if (!line())
            return m_status == Status::Running;
        if (m_line.trimmed().isEmpty()) {
            succeed();
            return false;
        }
        m_line.clear(); // a trailer field, of no use here
        return true;
    }
    return true;
}

// Keeps body bytes, unpacked when they are packed; false when the download
// failed.
bool Download::take(QByteArrayView body) {
    if (!m_inflater) {
        if (m_received + body.size() > m_limits.maxBytes) {
            fail(tooLargeText());
            return false;
        }
        m_received += body.size();
        if (m_sink)
            return toSink(body);
        m_bytes.append(body);
        return true;
    }
    Inflater& inflater = *m_inflater;
    if (inflater.ended || body.isEmpty())
        return true; // bytes after the packed stream: nothing of the playlist
    z_stream& z = inflater.stream;
    if (!inflater.started) {
        // A zlib stream begins with two bytes whose number is a multiple of
        // 31; anything else under "deflate" is a bare deflate stream.
        const auto b0 = static_cast<unsigned char>(body[0]);
        const bool raw =
            inflater.guessRaw && (body.size() < 2 || (b0 & 0x0F) != 8 ||
                                  ((b0 << 8) | static_cast<unsigned char>(body[1])) % 31 != 0);
        if (inflateInit2(&z, raw ? -MAX_WBITS : MAX_WBITS + 32) != Z_OK) {
            fail(QStringLiteral("Out of memory"));
            return false;
        }
        inflater.started = true;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = static_cast<uInt>(body.size());
    while (z.avail_in > 0) {
        const qsizetype old = m_bytes.size();
        m_bytes.resize(old + kInflateRoom);
        z.next_out = reinterpret_cast<Bytef*>(m_bytes.data() + old);
        z.avail_out = static_cast<uInt>(kInflateRoom);
        const int result = inflate(&z, Z_NO_FLUSH);
        const qsizetype produced = kInflateRoom - qsizetype(z.avail_out);
        m_bytes.resize(old + produced);
        m_received += produced;
        if (m_received > m_limits.maxBytes) {
            fail(tooLargeText());
            return false;
        }
        if (m_sink) {
            // The unpacked piece handed on; the buffer serves the next.
            const bool taken = produced == 0 || toSink(m_bytes);
            m_bytes.resize(0);
            if (!taken)
                return false;
        }
        if (result == Z_STREAM_END) {
            inflater.ended = true;
            break;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            fail(QStringLiteral("Decompression failed: %1")
                     .arg(z.msg ? QString::fromLatin1(z.msg)
                                : QStringLiteral("the packed body is damaged")));
            return false;
        }
    }
    return true;
}

// Hands body bytes to the sink; false when it threw, which ends the
// download with what it threw (never thrown through the event loop).
bool Download::toSink(QByteArrayView body) {
    if (!m_sinkFailure) {
        try {
            m_sink->write(body);
            return true;
        } catch (...) {
            m_sinkFailure = std::current_exception();
        }
    }
    QString message = QStringLiteral("The download's receiver failed");
    try {
        std::rethrow_exception(m_sinkFailure);
    } catch (const Exception& error) {
        message = error.Message();
    } catch (const std::exception& error) {
        message = QString::fromLocal8Bit(error.what());
    } catch (...) {
    }
    fail(message);
    return false;
}

void Download::succeed() {
    if (m_inflater && !m_inflater->ended) {
        fail(QStringLiteral("Decompression failed: the packed body ends early"));
        return;
    }
    end(Status::Succeeded);
}

// The server closed the connection: the end of a body that runs to it, or
// one cut short.
void Download::onClosed() {
    if (m_status != Status::Running)
        return;
    onReadyRead(); // anything not read yet
    if (m_status != Status::Running)
        return;
    if (m_stage == Stage::Body && m_framing == Framing::Close)
        succeed();
    else
        fail(connectionClosedText());
}

void Download::follow(const QUrl& location) {
    const QUrl target = m_current.resolved(location);
    if (++m_redirects > kMaxRedirects) {
        fail(QStringLiteral("Too many redirects"));
        return;
    }
    if (m_current.scheme() == u"https" && target.scheme() == u"http") {
        fail(QStringLiteral("Refused to follow a redirect from https to http"));
        return;
    }
    if (!isWebScheme(target) || target.host().isEmpty()) {
        fail(QStringLiteral("Refused to follow a redirect to a %1: address")
                 .arg(visibleText(target.scheme())));
        return;
    }
    dropSocket();
    m_current = target;
    request(target);
}

// Lets go of the connection at once: a failed download reads no more of it,
// and the server sees it closed. deleteLater, since this may run inside the
// socket's own signal.
void Download::dropSocket() {
    if (!m_socket)
        return;
    QTcpSocket* socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void Download::fail(const QString& reason) {
    if (m_status != Status::Running)
        return;
    m_failure = reason;
    end(Status::Failed);
}

void Download::end(Status status) {
    m_status = status;
    m_stall.stop();
    dropSocket();
    m_inflater.reset();
    if (status == Status::Succeeded)
        reportProgress(true);
    // Never from inside the socket's signals: the receiver may delete us.
    QMetaObject::invokeMethod(this, &Download::finished, Qt::QueuedConnection);
}

void Download::reportProgress(bool force) {
    // The first report goes at once, whenever it comes.
    if (!force && m_lastProgress.isValid() && m_lastProgress.elapsed() < kProgressIntervalMs)
        return;
    m_lastProgress.start();
    emit progress(m_received, m_total);
}

QString Download::socketErrorText() const {
    QString text = m_socket ? m_socket->errorString() : QString();
    for (const QUrl& url : {m_url, m_current}) {
        const QString masked = maskedAddress(url);
        for (const QString& form :
             {url.toString(), url.toString(QUrl::FullyEncoded), url.toDisplayString()})
            text.replace(form, masked);
    }
    return text;
}

QByteArray downloadWhole(const QUrl& url, const DownloadLimits& limits,
                         const std::function<void(qint64, qint64)>& progress) {
    Download download(url, limits);
    if (progress)
        QObject::connect(&download, &Download::progress, &download, progress);
    QEventLoop loop;
    QObject::connect(&download, &Download::finished, &loop, &QEventLoop::quit);
    loop.exec();
    if (download.status() != Download::Status::Succeeded)
        throw EFOpenError(download.errorMessage());
    return download.takeBytes();
}

void downloadInto(const QUrl& url, const DownloadLimits& limits, BodySink& sink,
                  const std::function<void(qint64, qint64)>& progress) {
    Download download(url, &sink, limits);
    if (progress)
        QObject::connect(&download, &Download::progress, &download, progress);
    QEventLoop loop;
    QObject::connect(&download, &Download::finished, &loop, &QEventLoop::quit);
    loop.exec();
    if (download.sinkFailure())
        std::rethrow_exception(download.sinkFailure());
    if (download.status() != Download::Status::Succeeded)
        throw EFOpenError(download.errorMessage());
}

} // namespace dorvane
