#pragma once

// A receiver's FTP server for the tests that send to one: pyftpdlib over a
// folder of its own, on 127.0.0.1 and a free port, stopped with the test.
#include "../ConvertRunner.h"

#include <QDir>
#include <QDirIterator>
#include <QHostAddress>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace dorvane::testing {

inline QString userName() {
    const passwd* entry = getpwuid(getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QStringLiteral("root");
}

// Every file under `folder`, by its path there, with its bytes.
inline QMap<QString, QByteArray> filesIn(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), readFile(path));
    }
    return files;
}

inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

inline bool waitForPort(int port) {
    for (int tries = 0; tries < 100; ++tries) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(100);
    }
    return false;
}

// A server program started for one test and stopped with it.
struct Server {
    QProcess process;
    ~Server() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

// The receiver's folder /etc/enigma2 under the FTP server's root.
class FtpBox {
public:
    explicit FtpBox(const QString& password, const QStringList& extra = {}) {
        QDir().mkpath(folder());
        m_server.process.setProcessChannelMode(QProcess::SeparateChannels);
        m_server.process.start(
            QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(DORVANE_TEST_DATA "/../support/ftp-server.py"),
                        m_root.path(), userName(), password} +
                extra);
        if (m_server.process.waitForReadyRead(20000))
            m_port = m_server.process.readLine().trimmed().toInt();
    }
    bool running() const { return m_port > 0; }
    QString folder() const { return m_root.path() + QStringLiteral("/etc/enigma2"); }
    QString address() const {
        return QStringLiteral("ftp://%1@127.0.0.1:%2/etc/enigma2/").arg(userName()).arg(m_port);
    }

private:
    QTemporaryDir m_root;
    Server m_server;
    int m_port = 0;
};

} // namespace dorvane::testing
