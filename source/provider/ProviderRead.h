#pragma once

#include "playlist/Download.h"
#include "source/provider/ProviderPlaylist.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace dorvane {

// A provider's playlist read on the event loop of the thread that creates
// it, one request after the other, each a Download (with its limits,
// redirects, TLS and masking); the window stays responsive and may stop it
// by deleting it.
class ProviderRead : public QObject {
    Q_OBJECT

public:
    enum class Status { Running, Succeeded, Failed };

    // Starts at once. With an M3U address (`getAddress`), that is
    // downloaded first, as it is; only when that fails or holds no channel
    // is the login read through the player interface.
    explicit ProviderRead(ProviderLogin login, const QUrl& getAddress = {},
                          const DownloadLimits& limits = {}, QObject* parent = nullptr);
    ~ProviderRead() override;

    Status status() const { return m_status; }
    const ProviderLogin& login() const { return m_login; }
    // The M3U address tried first, or empty.
    const QUrl& getAddress() const { return m_getAddress; }
    // The message of the failure, the password masked.
    const QString& errorMessage() const { return m_error; }
    // True once the M3U address has failed and the interface was read.
    bool fellBack() const { return m_fellBack; }
    // The playlist: the M3U address's bytes, or the one made of the
    // interface's answers (UTF-8).
    QByteArray takeBytes() { return std::move(m_bytes); }
    // The day the account expired, when the provider still served it (see
    // ProviderPlaylist::expiredButServed); null otherwise.
    QDate expiredButServed() const { return m_playlist.expiredButServed(); }
    // The request running now and how many there are, from 1.
    int step() const { return m_step; }
    int steps() const;

signals:
    // The current request's bytes received and its size (-1 unknown).
    void progress(qint64 received, qint64 total);
    // Once, from the event loop, when it has succeeded or failed.
    void finished();

private:
    void startNext();
    void onDownloadFinished();
    void fail(const QString& message);
    void succeed(QByteArray bytes);

    ProviderLogin m_login;
    QUrl m_getAddress;
    DownloadLimits m_limits;
    ProviderPlaylist m_playlist;
    std::unique_ptr<Download> m_download;
    size_t m_next = 0;
    int m_step = 0;
    bool m_fellBack = false;
    Status m_status = Status::Running;
    QString m_error;
    QByteArray m_bytes;
};

} // namespace dorvane
