#pragma once

// A small HTTP proxy on 127.0.0.1 for the download tests, on a thread of its
// own (a test may wait in a blocking call meanwhile). It takes what curl
// sends a proxy: "GET http://host:port/path" (passed on to the server in
// origin form) and "CONNECT host:port" (a tunnel, for https). It reaches
// 127.0.0.1 only; any other host is refused with 403.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

namespace dorvane::testing {

class HttpTestProxy {
public:
    HttpTestProxy();
    ~HttpTestProxy();

    // "http://127.0.0.1:PORT", as http_proxy takes it.
    QString address() const;
    // The request line of every request received: "GET http://... HTTP/1.1",
    // "CONNECT 127.0.0.1:443 HTTP/1.1".
    QList<QByteArray> requests() const;

    struct State {
        QMutex mutex;
        QList<QByteArray> requests;
    };

private:
    State m_state;
    QThread m_thread;
    QObject* m_worker = nullptr;
    quint16 m_port = 0;
};

} // namespace dorvane::testing
