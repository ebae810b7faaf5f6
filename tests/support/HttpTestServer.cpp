#include "HttpTestServer.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#endif

namespace dorvane::testing {

namespace {

QByteArray responseHead(const HttpResponse& response, const QList<QByteArray>& extra) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason +
                      "\r\nConnection: close\r\n";
    for (const QByteArray& header : response.headers + extra)
        head += header + "\r\n";
    return head + "\r\n";
}

void answer(QTcpSocket* socket, const HttpResponse& response) {
    const qint64 length =
        response.contentLength >= 0 ? response.contentLength : response.body.size();
    switch (response.send) {
    case HttpResponse::Send::Whole:
        socket->write(responseHead(response, {"Content-Length: " + QByteArray::number(length)}));
        socket->write(response.body);
        socket->disconnectFromHost();
        break;
    case HttpResponse::Send::Chunked: {
        socket->write(responseHead(response, {"Transfer-Encoding: chunked"}));
        constexpr qsizetype kChunk = 16 * 1024;
        for (qsizetype at = 0; at < response.body.size(); at += kChunk) {
            const QByteArray chunk = response.body.mid(at, kChunk);
            socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
        }
        socket->write("0\r\n\r\n");
        socket->disconnectFromHost();
        break;
    }
    case HttpResponse::Send::StallAfter:
    case HttpResponse::Send::CutAfter:
        socket->write(responseHead(response, {"Content-Length: " + QByteArray::number(length)}));
        socket->write(response.body.first(response.stallAfter));
        if (response.send == HttpResponse::Send::CutAfter)
            socket->disconnectFromHost();
        break; // else open until the client gives up
    case HttpResponse::Send::Raw:
        socket->write(response.body);
        socket->disconnectFromHost();
        break;
    case HttpResponse::Send::Drip: {
        // A timer of the socket's own: it goes when the client hangs up.
        auto* timer = new QTimer(socket);
        auto* sent = new qsizetype(0);
        QObject::connect(timer, &QObject::destroyed, [sent] { delete sent; });
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, response] {
            if (*sent >= response.body.size()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(response.body.mid((*sent)++, 1));
        });
        timer->start(response.dripMs);
        break;
    }
    }
}

class Worker : public QObject {
public:
    explicit Worker(HttpServerState& state) : m_state(state) {}

#if QT_CONFIG(ssl)
    quint16 listen(const std::optional<QSslConfiguration>& tls) {
        if (tls) {
            auto* server = new QSslServer(this);
            server->setSslConfiguration(*tls);
            m_server = server;
        } else {
            m_server = new QTcpServer(this);
        }
#else
    quint16 listen() {
        m_server = new QTcpServer(this);
#endif
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &Worker::accept);
        m_server->listen(QHostAddress::LocalHost, 0);
        return m_server->serverPort();
    }

private:
    void accept() {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::disconnected, this, [this] {
                QMutexLocker lock(&m_state.mutex);
                ++m_state.closed;
            });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket* socket) {
        QByteArray& head = m_heads[socket];
        if (head.endsWith("\r\n\r\n"))
            return; // answered already
        head += socket->readAll();
        const qsizetype end = head.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        head.truncate(end + 4);
        const QByteArray target = head.left(head.indexOf("\r\n")).split(' ').value(1);
        QByteArray path = target;
        if (const qsizetype query = path.indexOf('?'); query >= 0)
            path.truncate(query);
        HttpResponse response{404, "Not Found", {}, "no such page"};
        {
            QMutexLocker lock(&m_state.mutex);
            m_state.requests << head;
            response = m_state.routes.value(target, m_state.routes.value(path, response));
        }
        connect(socket, &QObject::destroyed, this, [this, socket] { m_heads.remove(socket); });
        answer(socket, response);
    }

    HttpServerState& m_state;
    QTcpServer* m_server = nullptr;
    QMap<QTcpSocket*, QByteArray> m_heads;
};

} // namespace

#if QT_CONFIG(ssl)
HttpTestServer::HttpTestServer(std::optional<QSslConfiguration> tls) : m_tls(tls.has_value()) {
#else
HttpTestServer::HttpTestServer() {
#endif
    auto* worker = new Worker(m_state);
    m_worker = worker;
    worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        worker,
#if QT_CONFIG(ssl)
        [&] { m_port = worker->listen(tls); },
#else
        [&] { m_port = worker->listen(); },
#endif
        Qt::BlockingQueuedConnection);
}

HttpTestServer::~HttpTestServer() {
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { delete worker; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void HttpTestServer::route(const QByteArray& path, const HttpResponse& response) {
    QMutexLocker lock(&m_state.mutex);
    m_state.routes.insert(path, response);
}

QString HttpTestServer::base() const {
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? "https" : "http").arg(m_port);
}

QUrl HttpTestServer::url(const QString& rest) const {
    return QUrl(base() + rest);
}

QList<QByteArray> HttpTestServer::requests() const {
    QMutexLocker lock(&const_cast<HttpServerState&>(m_state).mutex);
    return m_state.requests;
}

int HttpTestServer::closedConnections() const {
    QMutexLocker lock(&const_cast<HttpServerState&>(m_state).mutex);
    return m_state.closed;
}

quint16 unusedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort(); // closed again on return
}

#if QT_CONFIG(ssl)
std::optional<QSslConfiguration> selfSignedServerConfiguration(const QTemporaryDir& dir) {
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                   "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0)
        return std::nullopt;
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(cert);
    QFile keyFile(key);
    if (certificates.isEmpty() || !keyFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificates.constFirst());
    configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // no client certificates
    return configuration;
}
#endif

} // namespace dorvane::testing
