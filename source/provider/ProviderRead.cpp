#include "source/provider/ProviderRead.h"

#include "playlist/Errors.h"

namespace dorvane {

ProviderRead::ProviderRead(ProviderLogin login, const QUrl& getAddress,
                           const DownloadLimits& limits, QObject* parent)
    : QObject(parent), m_login(std::move(login)), m_getAddress(getAddress), m_limits(limits),
      m_playlist(m_login) {
    if (m_getAddress.isEmpty())
        m_fellBack = true; // nothing to try first
    startNext();
}

ProviderRead::~ProviderRead() = default;

int ProviderRead::steps() const {
    return int(m_playlist.requests().size()) + (m_getAddress.isEmpty() ? 0 : 1);
}

void ProviderRead::startNext() {
    ++m_step;
    // The interface's answers are read as they come; an M3U address is
    // kept whole.
    if (m_fellBack)
        m_download = std::make_unique<Download>(m_playlist.requests()[m_next].url,
                                                &m_playlist.answer(m_next), m_limits);
    else
        m_download = std::make_unique<Download>(m_getAddress, m_limits);
    connect(m_download.get(), &Download::progress, this, &ProviderRead::progress);
    connect(m_download.get(), &Download::finished, this, &ProviderRead::onDownloadFinished);
}

void ProviderRead::onDownloadFinished() {
    // Deleted once its signal has returned.
    Download* done = m_download.release();
    done->deleteLater();
    if (!m_fellBack) {
        if (done->status() == Download::Status::Succeeded) {
            QByteArray bytes = done->takeBytes();
            if (holdsChannels(bytes)) {
                succeed(std::move(bytes));
                return;
            }
        }
        m_fellBack = true;
        startNext();
        return;
    }
    if (done->status() != Download::Status::Succeeded) {
        fail(done->errorMessage());
        return;
    }
    try {
        m_playlist.finish();
    } catch (const Exception& error) {
        fail(error.Message());
        return;
    }
    if (++m_next < m_playlist.requests().size())
        startNext();
    else
        succeed(m_playlist.takePlaylist());
}

void ProviderRead::fail(const QString& message) {
    m_error = message;
    if (!m_login.password.isEmpty())
        m_error.replace(m_login.password, QStringLiteral("***"));
    m_status = Status::Failed;
    emit finished();
}

void ProviderRead::succeed(QByteArray bytes) {
    m_bytes = std::move(bytes);
    m_status = Status::Succeeded;
    emit finished();
}

} // namespace dorvane
