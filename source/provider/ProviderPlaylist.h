#pragma once

#include "playlist/BodySink.h"
#include "source/provider/ProviderLogin.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace dorvane {

// Makes the M3U playlist of a provider's account from the answers of its
// player interface, one request after the other: the account, then for
// live TV its categories and streams, then for films the same. Each answer
// is read as it comes, a batch of entries at a time, and never held whole.
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
//   Cannot read from "SERVER". The list made from the provider would pass 1 GiB
class ProviderPlaylist {
public:
    explicit ProviderPlaylist(ProviderLogin login);
    ~ProviderPlaylist();

    struct Request {
        QUrl url;
        QByteArray action; // empty for the account
    };
    // Every request, in the order the answers are to be given.
    const std::vector<Request>& requests() const { return m_requests; }
    // Reads the answer to requests()[index] as it comes: the sink takes its
    // bytes (a download's body), then finish() the end of it. The answers
    // come in order. The sink, and finish(), throw EFOpenError when the
    // answer is wrong.
    BodySink& answer(size_t index);
    void finish();
    // The same, the whole answer at once.
    void take(size_t index, QByteArrayView answer);
    // The playlist, once every answer has been taken.
    QByteArray takePlaylist();
    // Entries written so far.
    qsizetype entries() const { return m_entries; }
    // What the answers gave to be said, though the playlist is made: an
    // account past its expiry date that the provider still serves.
    const QStringList& warnings() const { return m_warnings; }
    // The date of that expiry, for a window's own words; null when there
    // is none.
    QDate expiredButServed() const { return m_expiredOn; }
    // The playlist is refused once it would pass this many bytes: as a file
    // or a download would be (kMaxPlaylistBytes). Tests lower it.
    void limitPlaylist(qsizetype bytes) { m_maxBytes = bytes; }

private:
    class Reader;

    template <typename Hidden, typename Bad>
    void takeAccount(QByteArray& answer, const Hidden& hidden, const Bad& bad);

    ProviderLogin m_login;
    QString m_server; // as messages name it
    std::vector<Request> m_requests;
    QByteArray m_extension = "ts";
    QByteArray m_user, m_password; // percent-encoded
    QHash<QByteArray, QByteArray> m_categories;
    QByteArray m_playlist;
    qsizetype m_entries = 0;
    qsizetype m_maxBytes;
    QStringList m_warnings;
    QDate m_expiredOn;
    std::unique_ptr<Reader> m_reader; // simdjson's parser, the entries not read yet
};

// Fetches one request's answer (a download) into the sink as it comes,
// throwing on failure.
using ProviderFetch = std::function<void(const QUrl& url, BodySink& sink)>;

// The whole playlist, the requests fetched in turn.
// Its warnings() are added to `warnings` when given.
QByteArray readProviderPlaylist(const ProviderLogin& login, const ProviderFetch& fetch,
                                QStringList* warnings = nullptr);

// An M3U address of the provider (loginOfGetAddress) read as it is, or,
// when that fails or holds no channel, through the player interface (live
// TV); `fellBack` says which.
QByteArray readGetAddress(const QUrl& url, const ProviderLogin& login, const ProviderFetch& fetch,
                          bool& fellBack, QStringList* warnings = nullptr);

// True when the bytes, read as a playlist file is, hold a channel.
bool holdsChannels(const QByteArray& bytes);

// The name of a request in messages and progress lines: its action, or
// "player_api.php" for the account.
QString requestName(const ProviderPlaylist::Request& request);

} // namespace dorvane
