#include "HttpTestProxy.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace dorvane::testing {

namespace {

// Bytes from one socket to the other as they come; either end closing
// closes the other.
void relay(QTcpSocket* from, QTcpSocket* to) {
    QObject::connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
    QObject::connect(from, &QTcpSocket::disconnected, to, [from, to] {
        to->write(from->readAll());
        to->disconnectFromHost();
    });
}

class ProxyWorker : public QObject {
public:
    explicit ProxyWorker(HttpTestProxy::State& state) : m_state(state) {}

    quint16 listen() {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &ProxyWorker::accept);
        m_server->listen(QHostAddress::LocalHost, 0);
        return m_server->serverPort();
    }

private:
    void accept() {
        while (QTcpSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            auto* head = new QByteArray;
            connect(client, &QObject::destroyed, [head] { delete head; });
            connect(client, &QTcpSocket::readyRead, this, [this, client, head] {
                if (head->endsWith("\r\n\r\n"))
                    return; // relayed by now
                *head += client->readAll();
                const qsizetype end = head->indexOf("\r\n\r\n");
                if (end >= 0)
                    serve(client, head->left(end + 4), head->mid(end + 4));
            });
        }
    }

    void serve(QTcpSocket* client, QByteArray head, const QByteArray& rest) {
        const QByteArray line = head.left(head.indexOf("\r\n"));
        {
            QMutexLocker lock(&m_state.mutex);
            m_state.requests << line;
        }
        const QList<QByteArray> words = line.split(' ');
        const bool tunnel = words.value(0) == "CONNECT";
        const QUrl target(QString::fromLatin1(tunnel ? "//" + words.value(1) : words.value(1)));
        if (target.host() != u"127.0.0.1" || target.port() <= 0) {
            client->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
            client->disconnectFromHost();
            return;
        }
        auto* server = new QTcpSocket(client);
        if (tunnel) {
            connect(server, &QTcpSocket::connected, client, [client, server, rest] {
                client->write("HTTP/1.1 200 Connection established\r\n\r\n");
                server->write(rest);
                relay(client, server);
                relay(server, client);
            });
        } else {
            // The request in origin form; the proxy's own fields dropped.
            QByteArray request = words.value(0) + ' ' +
                                 target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) +
                                 ' ' + words.value(2) + "\r\n";
            for (const QByteArray& field : head.mid(line.size() + 2).split('\n'))
                if (!field.trimmed().isEmpty() && !field.toLower().startsWith("proxy-"))
                    request += field.trimmed() + "\r\n";
            request += "\r\n" + rest;
            connect(server, &QTcpSocket::connected, client, [client, server, request] {
                server->write(request);
                relay(client, server);
                relay(server, client);
            });
        }
        connect(server, &QTcpSocket::errorOccurred, client, [client, server] {
            if (server->state() != QAbstractSocket::ConnectedState) {
                client->write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
                client->disconnectFromHost();
            }
        });
        server->connectToHost(QHostAddress::LocalHost, quint16(target.port()));
    }

    HttpTestProxy::State& m_state;
    QTcpServer* m_server = nullptr;
};

} // namespace

HttpTestProxy::HttpTestProxy() {
    auto* worker = new ProxyWorker(m_state);
    m_worker = worker;
    worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        worker, [&] { m_port = worker->listen(); }, Qt::BlockingQueuedConnection);
}

HttpTestProxy::~HttpTestProxy() {
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { delete worker; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QString HttpTestProxy::address() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QList<QByteArray> HttpTestProxy::requests() const {
    QMutexLocker lock(&const_cast<State&>(m_state).mutex);
    return m_state.requests;
}

} // namespace dorvane::testing
