#pragma once

// A small HTTP (or HTTPS) server on 127.0.0.1 for the download tests, on a
// thread of its own so that it keeps answering while the test waits in a
// blocking call (a dorvane-convert run, say). One request per connection.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QThread>
#include <QUrl>
#include <QtNetwork/qtnetworkglobal.h>

#include <optional>

#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#endif

class QTcpServer;
class QTemporaryDir;

namespace dorvane::testing {

struct HttpResponse {
    enum class Send {
        Whole,      // Content-Length, then the body, then the connection closes
        Chunked,    // Transfer-Encoding: chunked, 16 KiB a chunk
        StallAfter, // Content-Length, `stallAfter` bytes of the body, then nothing
        CutAfter,   // Content-Length, `stallAfter` bytes of the body, then the connection closes
        Raw,        // `body` is the whole reply, head included, sent as it is
        Drip        // as Raw, one byte every `dripMs` milliseconds
    };

    int status = 200;
    QByteArray reason = "OK";
    QList<QByteArray> headers; // "Name: value"
    QByteArray body;
    Send send = Send::Whole;
    qsizetype stallAfter = 0;
    qint64 contentLength = -1; // announced instead of the body's size when >= 0
    int dripMs = 0;

    // A reply made of exactly these bytes, for replies no well-behaved
    // server sends.
    static HttpResponse raw(const QByteArray& bytes, Send send = Send::Raw, int dripMs = 0) {
        HttpResponse response{0, {}, {}, bytes, send};
        response.dripMs = dripMs;
        return response;
    }

    static HttpResponse redirect(const QByteArray& location, int status = 302) {
        return {status, "Found", {"Location: " + location}, {}};
    }
};

struct HttpServerState {
    QMutex mutex;
    QMap<QByteArray, HttpResponse> routes; // by path and query, else by path alone
    QList<QByteArray> requests;            // every request head received
    int closed = 0;                        // connections the client closed
};

class HttpTestServer {
public:
#if QT_CONFIG(ssl)
    // With a configuration: HTTPS with its certificate and key.
    explicit HttpTestServer(std::optional<QSslConfiguration> tls = std::nullopt);
#else
    HttpTestServer();
#endif
    ~HttpTestServer();

    void route(const QByteArray& path, const HttpResponse& response);
    // "http://127.0.0.1:PORT" followed by `rest` ("/list?x=1").
    QUrl url(const QString& rest) const;
    QString base() const;
    QList<QByteArray> requests() const;
    int closedConnections() const;

private:
    HttpServerState m_state;
    QThread m_thread;
    QObject* m_worker = nullptr;
    quint16 m_port = 0;
    bool m_tls = false;
};

// A port on 127.0.0.1 where nothing listens.
quint16 unusedPort();

#if QT_CONFIG(ssl)
// A server configuration with a certificate for 127.0.0.1 that no authority
// signed, made with the openssl command in `dir`; nothing when that fails.
std::optional<QSslConfiguration> selfSignedServerConfiguration(const QTemporaryDir& dir);
#endif

} // namespace dorvane::testing
