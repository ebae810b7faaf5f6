#include "playlist/CurlTransfer.h"

#include "playlist/SystemError.h"
#include "playlist/WebAddress.h"

#include <QFile>
#include <QMutex>
#include <QSocketNotifier>

#include <climits>
#include <mutex>
#include <new>

#ifndef DORVANE_VERSION
#define DORVANE_VERSION "unknown"
#endif
#define DORVANE_USER_AGENT_TEXT "Dorvane/" DORVANE_VERSION

namespace dorvane {

namespace {

struct Shared {
    QMutex mutex;
    CurlTransfer::ProxyChooser chooser;
    QByteArray authorities; // the system's and the extra ones, PEM; empty: the system's
};

Shared& shared() {
    static Shared state;
    return state;
}

void startLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw std::bad_alloc();
    });
}

// The text with every form of the address in it masked.
QString masked(QString text, const QUrl& url) {
    const QString mask = maskedAddress(url);
    for (const QString& form :
         {url.toString(), url.toString(QUrl::FullyEncoded), url.toDisplayString()})
        if (!form.isEmpty())
            text.replace(form, mask);
    return text;
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

} // namespace

QString httpStatusText(int status) {
    const QLatin1StringView phrase = standardPhrase(status);
    return phrase.isEmpty() ? QString::number(status)
                            : QStringLiteral("%1 %2").arg(status).arg(phrase);
}

CurlTransfer::CurlTransfer() {
    startLibrary();
    m_handle = curl_easy_init();
    if (!m_handle)
        throw std::bad_alloc();
    curl_easy_setopt(m_handle, CURLOPT_ERRORBUFFER, m_error);
    curl_easy_setopt(m_handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_handle, CURLOPT_USERAGENT, DORVANE_USER_AGENT_TEXT);
    // Certificates are checked against the system's authorities, the name
    // against the host's, with no way to skip either.
    curl_easy_setopt(m_handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(m_handle, CURLOPT_PROXY_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_handle, CURLOPT_PROXY_SSL_VERIFYHOST, 2L);
    QMutexLocker lock(&shared().mutex);
    if (!shared().authorities.isEmpty()) {
        curl_blob blob{shared().authorities.data(), size_t(shared().authorities.size()),
                       CURL_BLOB_COPY};
        curl_easy_setopt(m_handle, CURLOPT_CAINFO_BLOB, &blob);
    }
}

CurlTransfer::~CurlTransfer() {
    curl_easy_cleanup(m_handle);
}

QString CurlTransfer::userAgent() {
    return QStringLiteral(DORVANE_USER_AGENT_TEXT);
}

void CurlTransfer::setAddress(const QUrl& url) {
    m_address = url;
    curl_easy_setopt(m_handle, CURLOPT_URL,
                     url.toEncoded(QUrl::RemoveFragment).constData()); // curl copies it
    QString proxy;
    if (!environmentNamesProxy(url.scheme())) {
        ProxyChooser chooser;
        {
            QMutexLocker lock(&shared().mutex);
            chooser = shared().chooser;
        }
        if (chooser)
            proxy = chooser(url);
    }
    // Null: the environment's, read by libcurl for each transfer.
    curl_easy_setopt(m_handle, CURLOPT_PROXY,
                     proxy.isEmpty() ? nullptr : proxy.toUtf8().constData());
}

void CurlTransfer::setProxyChooser(ProxyChooser chooser) {
    QMutexLocker lock(&shared().mutex);
    shared().chooser = std::move(chooser);
}

bool CurlTransfer::environmentNamesProxy(const QString& scheme) {
    const QByteArray lower = scheme.toLower().toLatin1() + "_proxy";
    QList<QByteArray> names{lower};
    if (lower != "http_proxy")
        names << lower.toUpper();
    names << "all_proxy"
          << "ALL_PROXY";
    for (const QByteArray& name : names)
        if (!qEnvironmentVariableIsEmpty(name.constData()))
            return true;
    return false;
}

void CurlTransfer::setExtraAuthorities(const QByteArray& pem) {
    QByteArray all;
    if (!pem.isEmpty()) {
        startLibrary();
        // The system's bundle, which libcurl reads when given none, first.
        if (CURL* probe = curl_easy_init()) {
            char* bundle = nullptr;
            if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &bundle) == CURLE_OK && bundle) {
                QFile file(QString::fromLocal8Bit(bundle));
                if (file.open(QIODevice::ReadOnly))
                    all = file.readAll() + '\n';
            }
            curl_easy_cleanup(probe);
        }
        all += pem;
    }
    QMutexLocker lock(&shared().mutex);
    shared().authorities = all;
}

QString CurlTransfer::failureText(CURLcode code) const {
    long osError = 0;
    curl_easy_getinfo(m_handle, CURLINFO_OS_ERRNO, &osError);
    const QString own = QString::fromUtf8(m_error).trimmed();
    QString text;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        text = QStringLiteral("Host not found");
        break;
    case CURLE_COULDNT_RESOLVE_PROXY:
        text = QStringLiteral("Proxy not found");
        break;
    case CURLE_OPERATION_TIMEDOUT:
        text = QStringLiteral("Timed out");
        break;
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
        text = QStringLiteral("Connection closed");
        break;
    case CURLE_COULDNT_CONNECT:
        // "Connection refused": the system's words, where curl's say only
        // that it could not connect.
        if (osError != 0)
            text = sysErrorMessage(int(osError));
        break;
    case CURLE_RECV_ERROR:
    case CURLE_PROXY: {
        long proxyStatus = 0;
        curl_easy_getinfo(m_handle, CURLINFO_HTTP_CONNECTCODE, &proxyStatus);
        if (own.contains(u"chunked-encoding"))
            text = QStringLiteral("Invalid chunked body");
        else if (proxyStatus >= 300)
            text = QStringLiteral("The proxy refused the connection (%1)")
                       .arg(httpStatusText(int(proxyStatus)));
        break;
    }
    case CURLE_WEIRD_SERVER_REPLY:
        // "Invalid Content-Length: value": refused before any callback sees it.
        if (own.startsWith(u"Invalid Content-Length"))
            text = QStringLiteral("Invalid Content-Length");
        break;
    case CURLE_OUT_OF_MEMORY:
        text = QStringLiteral("Out of memory");
        break;
    default:
        break;
    }
    if (text.isEmpty())
        text = own.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : own;
    while (text.endsWith(u'.') || text.endsWith(u':') || text.endsWith(u' '))
        text.chop(1);
    return visibleText(masked(text, m_address));
}

// One socket libcurl watches.
struct CurlLoop::Watch {
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
};

CurlLoop::CurlLoop(QObject* parent) : QObject(parent) {
    startLibrary();
    m_multi = curl_multi_init();
    if (!m_multi)
        throw std::bad_alloc();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlLoop::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlLoop::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlLoop::~CurlLoop() {
    curl_multi_cleanup(m_multi);
    for (Watch* watch : std::as_const(m_watches)) {
        delete watch->read;
        delete watch->write;
        delete watch;
    }
}

void CurlLoop::start(CurlTransfer& transfer) {
    curl_multi_add_handle(m_multi, transfer.handle());
}

void CurlLoop::stop(CurlTransfer& transfer) {
    curl_multi_remove_handle(m_multi, transfer.handle());
}

int CurlLoop::onSocket(CURL*, curl_socket_t socket, int what, void* data, void*) {
    auto* loop = static_cast<CurlLoop*>(data);
    Watch*& watch = loop->m_watches[socket];
    if (!watch)
        watch = new Watch;
    // A notifier may be the one whose signal runs now: it is let go of
    // later, never deleted here.
    const auto drop = [](QSocketNotifier*& notifier) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
            notifier = nullptr;
        }
    };
    const auto keep = [&](QSocketNotifier*& notifier, QSocketNotifier::Type type, int event) {
        if (notifier) {
            notifier->setEnabled(true);
            return;
        }
        notifier = new QSocketNotifier(qintptr(socket), type, loop);
        connect(notifier, &QSocketNotifier::activated, loop, [loop, socket, event] {
            if (event == CURL_CSELECT_IN)
                emit loop->readable();
            loop->act(socket, event);
        });
    };
    if (what == CURL_POLL_REMOVE) {
        drop(watch->read);
        drop(watch->write);
        delete watch;
        loop->m_watches.remove(socket);
        return 0;
    }
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT)
        keep(watch->read, QSocketNotifier::Read, CURL_CSELECT_IN);
    else
        drop(watch->read);
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT)
        keep(watch->write, QSocketNotifier::Write, CURL_CSELECT_OUT);
    else
        drop(watch->write);
    return 0;
}

int CurlLoop::onTimer(CURLM*, long milliseconds, void* data) {
    auto* loop = static_cast<CurlLoop*>(data);
    if (milliseconds < 0)
        loop->m_timer.stop();
    else
        loop->m_timer.start(int(std::min<long>(milliseconds, INT_MAX)));
    return 0;
}

void CurlLoop::act(curl_socket_t socket, int events) {
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    takeEnded();
}

void CurlLoop::takeEnded() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL* handle = message->easy_handle;
        const CURLcode result = message->data.result;
        curl_multi_remove_handle(m_multi, handle);
        emit done(handle, result);
    }
}

} // namespace dorvane
