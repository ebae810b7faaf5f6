#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <curl/curl.h>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace dorvane {

// libcurl set up in one place for every transfer the program makes: the
// library's start, the options every transfer shares (certificates always
// verified, the User-Agent, no signals), the proxy, and the words a failure
// is reported with.
//
// Proxies are curl's own: with no proxy set on the handle libcurl takes it
// from http_proxy, https_proxy (or HTTPS_PROXY), ALL_PROXY and no_proxy, as
// the curl command does. A program may add a chooser for the addresses the
// environment names no proxy for (the window asks the system's settings).
class CurlTransfer {
public:
    // The proxy for an address, as curl writes one ("http://host:3128",
    // "socks5h://host:1080"); empty for none.
    using ProxyChooser = std::function<QString(const QUrl& url)>;

    CurlTransfer();
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    CURL* handle() const { return m_handle; }

    // The address to transfer, with the proxy the environment or the chooser
    // gives for it. Its credentials (the user part) go to its server only.
    void setAddress(const QUrl& url);
    const QUrl& address() const { return m_address; }

    // Why a transfer failed with `code`, in the program's words where it has
    // some ("Connection refused", "Host not found", "Timed out") and else in
    // libcurl's, with every form of the address masked and the characters a
    // terminal acts on written out.
    QString failureText(CURLcode code) const;

    // "Dorvane/<version>", sent with every request.
    static QString userAgent();

    // The chooser asked when the environment names no proxy for an
    // address's scheme; its proxies are still bypassed for the hosts
    // no_proxy names. One for the whole program: set it before the first
    // transfer.
    static void setProxyChooser(ProxyChooser chooser);
    // True when the environment names a proxy for the scheme, as libcurl
    // looks for one: "<scheme>_proxy" (for http only in lower case, which a
    // web server's CGI cannot set), else ALL_PROXY.
    static bool environmentNamesProxy(const QString& scheme);

    // Authorities (PEM) trusted besides the system's, for a server with a
    // certificate of its own making (tests use it). Empty: none.
    static void setExtraAuthorities(const QByteArray& pem);

private:
    CURL* m_handle = nullptr;
    QUrl m_address;
    char m_error[CURL_ERROR_SIZE] = {};
};

// "404 Not Found": the status and its standard phrase; the number alone for
// one HTTP does not define. The server's own words are never shown: they are
// whatever it likes, escape sequences for the terminal or the request line
// with its secrets echoed back.
QString httpStatusText(int status);

// Runs transfers on the event loop of the thread that makes it, through
// libcurl's multi interface: a socket notifier for each of its sockets and a
// timer for its timeouts, so that the thread (the window's, say) stays
// responsive. The transfers' callbacks run on this thread, from inside the
// event loop.
class CurlLoop : public QObject {
    Q_OBJECT

public:
    explicit CurlLoop(QObject* parent = nullptr);
    ~CurlLoop() override;

    // Starts the transfer; done() tells its end. It must outlive its run
    // or be stopped first.
    void start(CurlTransfer& transfer);
    // Stops it where it is (its connection is closed); no done() follows.
    void stop(CurlTransfer& transfer);

signals:
    // A socket has something to read: bytes came, or the peer closed.
    void readable();
    // A transfer has ended; `result` is CURLE_OK when it succeeded.
    void done(CURL* handle, CURLcode result);

private:
    struct Watch;
    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* loop, void* watch);
    static int onTimer(CURLM* multi, long milliseconds, void* loop);
    void act(curl_socket_t socket, int events);
    void takeEnded();

    CURLM* m_multi = nullptr;
    QTimer m_timer;
    QHash<curl_socket_t, Watch*> m_watches;
};

} // namespace dorvane
