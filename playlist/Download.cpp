#include "playlist/Download.h"

#include "playlist/Errors.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/SystemError.h"
#include "playlist/WebAddress.h"

#include <QEventLoop>

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace dorvane {

namespace {

constexpr int kMaxRedirects = 10;
constexpr int kProgressIntervalMs = 100;
// What libcurl reads from the socket at a time (16 KiB unless told): a
// size every libcurl since 7.53 takes.
constexpr long kReadBufferSize = 512 * 1024;
// A reply's head (status line and headers) longer than this is no playlist
// server's: 64 KiB is what the common servers accept for a request's.
constexpr qint64 kMaxHeadSize = 64 * 1024;
constexpr qsizetype kInflateRoom = 256 * 1024;

QString tooLargeText() {
    return QStringLiteral("File too large");
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
    return CurlTransfer::userAgent();
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
    CURL* handle = m_transfer.handle();
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are followed here, by this class's rules (follow()).
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &Download::onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Download::onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    // The proxy's answer to CONNECT is no head of the server's.
    curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // Packed bodies come as they are and are unpacked here, where a stream
    // cut short is told from a whole one.
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(handle, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReadBufferSize);
    // libcurl's own limit on connecting (5 minutes unless told) is the
    // stall limit: no byte comes before the connection is made either.
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                     long(std::min<qint64>(m_limits.stallTimeout.count(), LONG_MAX)));
    connect(&m_loop, &CurlLoop::readable, this, [this] { m_lastByte.start(); });
    connect(&m_loop, &CurlLoop::done, this, [this](CURL*, CURLcode result) { onDone(result); });
    request(url);
}

Download::~Download() {
    if (m_status == Status::Running)
        m_loop.stop(m_transfer);
}

QString Download::errorMessage() const {
    if (m_sinkFailure)
        return m_failure;
    return cannotOpenUrlText(m_url, m_failure);
}

void Download::request(const QUrl& url) {
    m_headBytes = 0;
    m_inBody = false;
    m_redirect.reset();
    m_transfer.setAddress(url);
    m_lastByte.start();
    m_loop.start(m_transfer);
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

size_t Download::onHeader(char* data, size_t size, size_t count, void* download) {
    auto* self = static_cast<Download*>(download);
    const size_t length = size * count;
    self->m_inCallback = true;
    const bool go = self->readHeadLine(QByteArrayView(data, qsizetype(length)));
    self->m_inCallback = false;
    return go ? length : CURL_WRITEFUNC_ERROR;
}

size_t Download::onBody(char* data, size_t size, size_t count, void* download) {
    auto* self = static_cast<Download*>(download);
    const size_t length = size * count;
    if (length == 0)
        return 0; // nothing to hand on
    self->m_lastByte.start();
    if (!self->m_inBody || self->m_status != Status::Running)
        return CURL_WRITEFUNC_ERROR;
    self->m_inCallback = true;
    const bool go = self->take(QByteArrayView(data, qsizetype(length)));
    if (go)
        self->reportProgress(false);
    self->m_inCallback = false;
    return go ? length : CURL_WRITEFUNC_ERROR;
}

// One line of a reply's head, as libcurl hands them; false ends the
// transfer (failed, or sent elsewhere).
bool Download::readHeadLine(QByteArrayView line) {
    m_lastByte.start();
    if (m_status != Status::Running)
        return false;
    m_headBytes += line.size();
    if (m_headBytes > kMaxHeadSize) {
        fail(QStringLiteral("The reply's head is too large"));
        return false;
    }
    if (line != "\r\n" && line != "\n")
        return true;
    // The empty line: the head is whole. Only the status's number counts,
    // never the server's words for it.
    long status = 0;
    curl_easy_getinfo(m_transfer.handle(), CURLINFO_RESPONSE_CODE, &status);
    m_headBytes = 0;
    if (status >= 100 && status < 200 && status != 101)
        return true; // a head before the real one
    return startBody(status);
}

// Decides what the head means: elsewhere, a failure, or a body to read.
bool Download::startBody(long status) {
    CURL* handle = m_transfer.handle();
    // Every value of a field of the last head, in order.
    const auto values = [handle](const char* name) {
        QList<QByteArray> found;
        curl_header* field = nullptr;
        if (curl_easy_header(handle, name, 0, CURLH_HEADER, -1, &field) != CURLHE_OK)
            return found;
        const size_t amount = field->amount;
        for (size_t index = 0; index < amount; ++index)
            if (curl_easy_header(handle, name, index, CURLH_HEADER, -1, &field) == CURLHE_OK)
                found << QByteArray(field->value);
        return found;
    };
    const auto field = [&](const char* name) {
        const QList<QByteArray> found = values(name);
        return found.isEmpty() ? QByteArray() : found.constFirst().trimmed();
    };
    if (status >= 300 && status < 400 && isRedirectStatus(int(status))) {
        const QByteArray location = field("Location");
        const QUrl target = QUrl(QString::fromUtf8(location));
        if (location.isEmpty() || !target.isValid()) {
            fail(QStringLiteral("Redirect (%1) without a location").arg(status));
            return false;
        }
        m_redirect = target; // followed once libcurl has let go of this reply
        return false;
    }
    if (status < 200 || status >= 300) {
        fail(httpStatusText(int(status))); // its page is of no use
        return false;
    }

    const qint64 size = declaredLength(values("Content-Length"));
    if (size == -2 || size == -3) {
        fail(size == -2 ? QStringLiteral("Invalid Content-Length")
                        : QStringLiteral("Conflicting Content-Length headers"));
        return false;
    }
    const QByteArray transfer = field("Transfer-Encoding").toLower();
    if (!transfer.isEmpty() && transfer != "identity" && transfer != "chunked") {
        fail(QStringLiteral("Unsupported Transfer-Encoding"));
        return false;
    }
    if (size > m_limits.maxBytes) {
        fail(tooLargeText());
        return false;
    }
    const QByteArray packing = field("Content-Encoding").toLower();
    if (packing == "gzip" || packing == "x-gzip" || packing == "deflate") {
        m_inflater = std::make_unique<Inflater>(packing == "deflate");
    } else if (!packing.isEmpty() && packing != "identity") {
        fail(QStringLiteral("Unsupported Content-Encoding"));
        return false;
    } else if (size >= 0 && transfer != "chunked") {
        m_total = size;
        if (!m_sink) {
            m_bytes.reserve(static_cast<qsizetype>(size));
            adviseHugePages(m_bytes.data(), m_bytes.capacity());
        }
    }
    m_inBody = true;
    if (m_sink) {
        try {
            m_sink->begin(m_total);
        } catch (...) {
            m_sinkFailure = std::current_exception();
        }
        if (m_sinkFailure)
            return toSink({}); // fails with it
    }
    return true;
}

// libcurl is done with the reply: the end of the body, a failure, or a
// redirect to follow.
void Download::onDone(CURLcode result) {
    if (m_status != Status::Running)
        return; // failed in a callback, which ended the transfer
    if (m_redirect) {
        follow(*m_redirect);
        return;
    }
    if (result == CURLE_OK) {
        if (m_inBody)
            succeed();
        else
            fail(QStringLiteral("Not an HTTP reply"));
        return;
    }
    // libcurl refuses a header line longer than 100 KiB before this sees it.
    if (result == CURLE_OUT_OF_MEMORY && !m_inBody && m_headBytes > 0) {
        fail(QStringLiteral("The reply's head is too large"));
        return;
    }
    fail(m_transfer.failureText(result));
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
            return toSink(body); // libcurl's buffer, handed on as it is
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
        // A small packed body may unpack into a huge one: it is held to the
        // limit as it grows.
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

void Download::follow(const QUrl& location) {
    // A relative location keeps the address's credentials (the same
    // server); an absolute one carries only its own.
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
    m_current = target;
    request(target);
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
    // Lets go of the connection at once: a failed download reads no more of
    // it, and the server sees it closed. From inside a callback libcurl
    // does so itself, told by its result.
    if (!m_inCallback)
        m_loop.stop(m_transfer);
    m_inflater.reset();
    if (status == Status::Succeeded)
        reportProgress(true);
    // Never from inside libcurl's calls: the receiver may delete us.
    QMetaObject::invokeMethod(this, &Download::finished, Qt::QueuedConnection);
}

void Download::reportProgress(bool force) {
    // The first report goes at once, whenever it comes.
    if (!force && m_lastProgress.isValid() && m_lastProgress.elapsed() < kProgressIntervalMs)
        return;
    m_lastProgress.start();
    emit progress(m_received, m_total);
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
