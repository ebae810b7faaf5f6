#pragma once

#include "source/provider/ProviderLogin.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

namespace dorvane {

// Makes the M3U playlist of a provider's account from the answers of its
// player interface, one request after the other: the account, then for
// films their categories and streams, then for live TV the same (live TV
// comes first in the playlist). Each answer is
// read when it arrives and let go of, so that no more than one is held.
// Series are not read: they take one request per series.
//
// The playlist, UTF-8 with LF line ends:
//   #EXTM3U url-tvg="SERVER/xmltv.php?username=U&password=P"
//   #EXTINF:-1 tvg-id="ID" tvg-name="NAME" tvg-logo="ICON" group-title="GROUP"[ catchup="xc"
//   catchup-days="DAYS"],NAME SERVER/live/U/P/STREAM_ID.EXT #EXTINF:-1 tvg-name="NAME"
//   tvg-logo="ICON" group-title="GROUP",NAME SERVER/movie/U/P/STREAM_ID.CONTAINER
// in the order of the provider's arrays, an entry without a stream_id left
// out (it has no address).
//
// Failures throw EFOpenError, the password never in the message:
//   Cannot log in to "SERVER". Wrong user name or password
//   Cannot log in to "SERVER". The account is expired since 2024-01-31
//   Cannot read the provider's answer from "SERVER". get_live_streams: not a JSON array
class ProviderPlaylist {
public:
    explicit ProviderPlaylist(ProviderLogin login);

    struct Request {
        QUrl url;
        QByteArray action; // empty for the account
    };
    // Every request, in the order the answers are to be given.
    const std::vector<Request>& requests() const { return m_requests; }
    // Reads the answer to requests()[index]; the answers come in order.
    void take(size_t index, QByteArray answer);
    // The playlist, once every answer has been taken.
    QByteArray takePlaylist();
    // Entries written so far.
    qsizetype entries() const { return m_entries; }

private:
    template <typename Hidden, typename Bad>
    void takeAccount(QByteArray& answer, const Hidden& hidden, const Bad& bad);

    ProviderLogin m_login;
    QString m_server; // as messages name it
    std::vector<Request> m_requests;
    QByteArray m_extension = "ts";
    QByteArray m_user, m_password; // percent-encoded
    QHash<QByteArray, QByteArray> m_categories;
    // The head, the films' lines, then live TV's from m_liveStart (0: none).
    QByteArray m_playlist;
    qsizetype m_headSize = 0, m_liveStart = 0;
    qsizetype m_entries = 0;
};

// Fetches one request's answer (a download), throwing on failure.
using ProviderFetch = std::function<QByteArray(const QUrl& url)>;

// The whole playlist, the requests fetched in turn.
QByteArray readProviderPlaylist(const ProviderLogin& login, const ProviderFetch& fetch);

// An M3U address of the provider (loginOfGetAddress) read as it is, or,
// when that fails or holds no channel, through the player interface (live
// TV); `fellBack` says which.
QByteArray readGetAddress(const QUrl& url, const ProviderLogin& login, const ProviderFetch& fetch,
                          bool& fellBack);

// True when the bytes, read as a playlist file is, hold a channel.
bool holdsChannels(const QByteArray& bytes);

// The name of a request in messages and progress lines: its action, or
// "player_api.php" for the account.
QString requestName(const ProviderPlaylist::Request& request);

} // namespace dorvane
