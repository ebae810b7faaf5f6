#include "playlist/Download.h"

#include "playlist/Errors.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/WebAddress.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#include <QSslSocket>
#endif

#include <algorithm>

#ifndef DORVANE_VERSION
#define DORVANE_VERSION "unknown"
#endif

namespace dorvane {

namespace {

constexpr int kMaxRedirects = 10;
constexpr int kProgressIntervalMs = 100;
constexpr qint64 kReadBufferSize = 256 * 1024;

QString tooLargeText() {
    return QStringLiteral("File too large");
}

// Lets go of a reply this download no longer wants. Deleting a reply stops
// its request; it is not aborted first, because abort() sets an error and Qt's
// network thread may already have queued one of its own (a 404's), which Qt
// then reports as an internal problem on standard error. The deletion drops
// whatever the reply still had queued. deleteLater, since this may run inside
// the reply's own signal.
// Only our own connections go: Qt's reply talks to its network thread through
// signals of its own.
void dropReply(QNetworkReply* reply, QObject* receiver) {
    QObject::disconnect(reply, nullptr, receiver, nullptr);
    reply->deleteLater();
}

} // namespace

QString Download::userAgent() {
    return QStringLiteral("Dorvane/" DORVANE_VERSION);
}

Download::Download(const QUrl& url, const DownloadLimits& limits, QObject* parent)
    : QObject(parent), m_url(url), m_current(url), m_limits(limits),
      m_manager(new QNetworkAccessManager(this)) {
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, &Download::checkStall);
    // Qt would try the schemes it knows besides these (file:, data:).
    if (!isWebScheme(url) || url.host().isEmpty()) {
        fail(QStringLiteral("Only http:// and https:// addresses can be opened"));
        return;
    }
    request(url);
}

void Download::request(const QUrl& url) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    // Redirects are followed here, one request each (onReplyFinished): Qt's
    // own following lost the body when a server closed the connection after
    // each redirect, as many do.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    // Qt refuses a packed body that unpacks to many times its size once it
    // passes 10 MiB; playlists pack well, and maxBytes bounds the memory
    // instead.
    request.setDecompressedSafetyCheckThreshold(-1);
#if QT_CONFIG(ssl)
    QSslConfiguration tls = request.sslConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    request.setSslConfiguration(tls);
#endif

    m_reply = m_manager->get(request);
    // Without a limit Qt's network thread reads ahead of this one into a
    // buffer of its own, piece by freshly allocated piece: downloading a
    // 277 MB playlist from the loopback took 445 MB and 7 s; with 256 KiB,
    // 290 MB and under 2 s.
    m_reply->setReadBufferSize(kReadBufferSize);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Download::onMetaData);
    connect(m_reply, &QIODevice::readyRead, this, &Download::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &Download::onReplyFinished);
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

// The reply goes with its manager, a child of this.
Download::~Download() {
    if (m_reply)
        disconnect(m_reply, nullptr, this, nullptr);
}

QString Download::errorMessage() const {
    return cannotOpenUrlText(m_url, m_failure);
}

namespace {

int httpStatus(const QNetworkReply& reply) {
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
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
QString httpStatusText(const QNetworkReply& reply) {
    const int status = httpStatus(reply);
    const QLatin1StringView phrase = standardPhrase(status);
    return phrase.isEmpty() ? QString::number(status)
                            : QStringLiteral("%1 %2").arg(status).arg(phrase);
}

// Where a 3xx reply leads; empty when it names no place.
QUrl redirectTarget(const QNetworkReply& reply) {
    const int status = httpStatus(reply);
    if (status < 300 || status >= 400)
        return {};
    const QUrl location = reply.attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    return location.isValid() && !location.isEmpty() ? location : QUrl();
}

bool isRedirect(const QNetworkReply& reply) {
    return !redirectTarget(reply).isEmpty();
}

// The statuses that only make sense with a Location.
bool needsLocation(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The body's length as the Content-Length headers give it (Qt joins
// repeated headers with ", "): -1 when there is none, -2 when one is not a
// number, -3 when they disagree. A body whose length is in doubt is refused,
// as curl refuses it: the two ends may see its end in different places.
qint64 declaredLength(const QNetworkReply& reply) {
    if (!reply.hasRawHeader("Content-Length"))
        return -1;
    qint64 length = -1;
    for (const QByteArray& field : reply.rawHeader("Content-Length").split(',')) {
        const QByteArray digits = field.trimmed();
        if (digits.isEmpty() || digits.size() > 18 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return -2;
        const qint64 value = digits.toLongLong();
        if (length >= 0 && value != length)
            return -3;
        length = value;
    }
    return length;
}

} // namespace

void Download::onMetaData() {
    m_lastByte.start();
    if (m_status != Status::Running)
        return;
    const int status = httpStatus(*m_reply);
    if (isRedirect(*m_reply))
        return; // what counts is where it leads
    if (needsLocation(status)) {
        fail(QStringLiteral("Redirect (%1) without a location").arg(status));
        return;
    }
    if (status >= 400) {
        fail(httpStatusText(*m_reply)); // its page is of no use
        return;
    }
    const qint64 size = declaredLength(*m_reply);
    if (size == -2 || size == -3) {
        fail(size == -2 ? QStringLiteral("Invalid Content-Length")
                        : QStringLiteral("Conflicting Content-Length headers"));
        return;
    }
    if (size < 0)
        return;
    if (size > m_limits.maxBytes) {
        fail(tooLargeText());
        return;
    }
    const QByteArray packing = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (packing.isEmpty() || packing == "identity") {
        m_total = size;
        m_bytes.reserve(static_cast<qsizetype>(size));
        adviseHugePages(m_bytes.data(), m_bytes.capacity());
    }
}

void Download::onReadyRead() {
    m_lastByte.start();
    if (m_status != Status::Running)
        return;
    const qint64 available = m_reply->bytesAvailable();
    if (available <= 0)
        return;
    if (isRedirect(*m_reply)) {
        m_reply->skip(available); // a redirect's page
        return;
    }
    if (m_bytes.size() + available > m_limits.maxBytes) {
        fail(tooLargeText());
        return;
    }
    // Straight into the body, without a QByteArray per piece.
    const qsizetype old = m_bytes.size();
    m_bytes.resize(old + static_cast<qsizetype>(available));
    const qint64 got = m_reply->read(m_bytes.data() + old, available);
    m_bytes.resize(old + static_cast<qsizetype>(std::max<qint64>(got, 0)));
    reportProgress(false);
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
    if (!isWebScheme(target)) {
        fail(QStringLiteral("Refused to follow a redirect to a %1: address").arg(target.scheme()));
        return;
    }
    dropReply(m_reply, this);
    m_current = target;
    request(target);
}

void Download::onReplyFinished() {
    if (m_status != Status::Running)
        return;
    const int status = httpStatus(*m_reply);
    // Qt's text for a failed status quotes the server's words.
    if (m_reply->error() != QNetworkReply::NoError) {
        fail(status >= 400 ? httpStatusText(*m_reply) : replyErrorText());
        return;
    }
    if (isRedirect(*m_reply)) {
        follow(m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
        return;
    }
    onReadyRead(); // anything not read yet
    if (m_status != Status::Running)
        return;
    // A 3xx without a place to go, or some other status that is no success.
    if (status != 0 && (status < 200 || status >= 300)) {
        fail(httpStatusText(*m_reply));
        return;
    }
    end(Status::Succeeded);
}

void Download::fail(const QString& reason) {
    m_failure = reason;
    end(Status::Failed);
}

void Download::end(Status status) {
    m_status = status;
    m_stall.stop();
    if (m_reply) {
        dropReply(m_reply, this);
        m_reply = nullptr;
    }
    if (status == Status::Succeeded)
        reportProgress(true);
    // Never from inside the reply's signals: the receiver may delete us.
    QMetaObject::invokeMethod(this, &Download::finished, Qt::QueuedConnection);
}

void Download::reportProgress(bool force) {
    // The first report goes at once, whenever it comes.
    if (!force && m_lastProgress.isValid() && m_lastProgress.elapsed() < kProgressIntervalMs)
        return;
    m_lastProgress.start();
    emit progress(m_bytes.size(), m_total);
}

QString Download::replyErrorText() const {
    QString text = m_reply->errorString();
    // Qt gives the words of zlib, which has none for a stream that is not
    // of the format named at all.
    if (text.endsWith(u": ") && m_reply->hasRawHeader("Content-Encoding")) {
        const QByteArray packing = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
        const bool known =
            packing == "gzip" || packing == "deflate" || packing == "br" || packing == "zstd";
        text += QStringLiteral("the body is not valid %1 data")
                    .arg(known ? QString::fromLatin1(packing) : QStringLiteral("packed"));
    }
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

} // namespace dorvane
