#pragma once

#include "playlist/BodySink.h"
#include "playlist/TextFile.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

class QTcpSocket;

namespace dorvane {

struct DownloadLimits {
    // The download ends ("Timed out") when this long passes without a byte.
    // Any length a 64-bit count of milliseconds holds: it is no timer's
    // interval (those are ints, and a year of milliseconds wraps them).
    std::chrono::milliseconds stallTimeout{30000};
    // A body larger than this is refused ("File too large"): at once when its
    // Content-Length says so, else as soon as it grows past it. The same
    // limit as for files; tests lower it.
    qint64 maxBytes = kMaxPlaylistBytes;
};

// One download of a playlist into memory, on the event loop of the thread
// that creates it (the window stays responsive while it runs).
//
// HTTP/1.1 over a socket of its own, one request per connection: every byte
// the server sends, those of the reply's head too, counts for the stall
// limit, and what the server says is checked before it is believed (the
// head's size, Content-Length, chunk sizes, Location).
//
// Redirects are followed, at most 10, never from https to http nor to
// another scheme; gzip and deflate bodies are unpacked; TLS certificates are
// always verified against the system's authorities, with no way to skip the
// check. Any other address fails at once (parseWebAddress says why first).
class Download : public QObject {
    Q_OBJECT

public:
    enum class Status { Running, Succeeded, Failed };

    // Starts at once.
    explicit Download(const QUrl& url, const DownloadLimits& limits = {},
                      QObject* parent = nullptr);
    // The same, the body handed to `sink` as it comes instead of kept
    // (takeBytes() then gives nothing). The sink must outlive the download.
    Download(const QUrl& url, BodySink* sink, const DownloadLimits& limits = {},
             QObject* parent = nullptr);
    // Stops a download still running, silently: no finished() follows.
    ~Download() override;

    const QUrl& url() const { return m_url; }
    Status status() const { return m_status; }
    // Bytes of the body received so far (unpacked); once it has succeeded,
    // the whole body's.
    qint64 received() const { return m_received; }
    QByteArray takeBytes() { return std::move(m_bytes); }
    // Why it failed: "404 Not Found" (the status and its standard phrase,
    // never the server's own words), "Timed out", "File too large", or the
    // network's or TLS's own text.
    const QString& failure() const { return m_failure; }
    // "Cannot open URL "%s". %s", the address masked; or, when the sink
    // threw, its message as it is.
    QString errorMessage() const;
    // What the sink threw, which ended the download; null when it did not.
    std::exception_ptr sinkFailure() const { return m_sinkFailure; }

    // The User-Agent every download sends: "Dorvane/<version>".
    static QString userAgent();

signals:
    // Bytes received and the size announced (-1 when unknown, or when the
    // body comes packed and its size says nothing about the playlist's), at
    // most ten times a second and once more at the end.
    void progress(qint64 received, qint64 total);
    // Emitted once, from the event loop (never from inside a call to this
    // object), when the download has succeeded or failed; the receiver may
    // then delete it.
    void finished();

private:
    struct Inflater;
    enum class Stage { Head, Body };
    enum class Framing { Length, Chunked, Close };
    enum class ChunkStage { Size, Data, DataEnd, Trailer };

    void request(const QUrl& url);
    void onReadyRead();
    void onClosed();
    bool readHead();
    bool startBody(int status, const QList<std::pair<QByteArray, QByteArray>>& fields);
    void readBody(QByteArrayView raw);
    bool readChunked(QByteArrayView& raw);
    bool take(QByteArrayView body);
    bool toSink(QByteArrayView body);
    void succeed();
    void follow(const QUrl& location);
    void dropSocket();
    void fail(const QString& reason);
    void end(Status status);
    void reportProgress(bool force);
    // Arms m_stall for what is left of the stall limit since the last byte.
    void checkStall();
    // The socket's error text, with every form of the address in it masked.
    QString socketErrorText() const;

    QUrl m_url;
    QUrl m_current; // where the last redirect led
    DownloadLimits m_limits;
    QTcpSocket* m_socket = nullptr; // a QSslSocket for https
    QTimer m_stall;                 // wakes checkStall(), at most a day ahead
    QElapsedTimer m_lastByte;       // since the last byte (or the request)
    QElapsedTimer m_lastProgress;
    Stage m_stage = Stage::Head;
    QByteArray m_head; // the reply's head as it comes
    Framing m_framing = Framing::Close;
    ChunkStage m_chunkStage = ChunkStage::Size;
    QByteArray m_line;                    // a chunk's size line or a trailer line, as it comes
    qint64 m_left = 0;                    // of the body (Length) or of the chunk (Chunked)
    QByteArray m_scratch;                 // raw bytes that need a look before they are kept
    std::unique_ptr<Inflater> m_inflater; // a gzip or deflate body
    QByteArray m_bytes;
    BodySink* m_sink = nullptr;
    std::exception_ptr m_sinkFailure;
    qint64 m_received = 0;
    qint64 m_total = -1;
    int m_redirects = 0;
    Status m_status = Status::Running;
    QString m_failure;
};

// Downloads the whole body, running an event loop of its own until the end
// (a QCoreApplication must exist). EFOpenError with errorMessage() when it
// fails. `progress`, when given, is called as progress() is emitted.
QByteArray downloadWhole(const QUrl& url, const DownloadLimits& limits,
                         const std::function<void(qint64 received, qint64 total)>& progress = {});

// The same, the body handed to `sink` as it comes. What the sink throws is
// thrown again as it is, once the download has stopped.
void downloadInto(const QUrl& url, const DownloadLimits& limits, BodySink& sink,
                  const std::function<void(qint64 received, qint64 total)>& progress = {});

} // namespace dorvane
