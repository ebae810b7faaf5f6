#pragma once

#include "playlist/BodySink.h"
#include "playlist/CurlTransfer.h"
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
#include <optional>
#include <utility>

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
// libcurl carries it (CurlTransfer), proxies included, as the curl command
// finds them. Every byte the server sends, those of the reply's head too,
// counts for the stall limit, and what the server says is checked before it
// is believed (the head's size, Content-Length, Location).
//
// Redirects are followed, at most 10, never from https to http nor to
// another scheme, the credentials of the address going to its own server
// only; gzip and deflate bodies are unpacked here (a packed body cut short
// is refused, and the unpacked size is held to the limit as it grows); TLS
// certificates are always verified against the system's authorities, with
// no way to skip the check. Any other address fails at once
// (parseWebAddress says why first).
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

    static size_t onHeader(char* data, size_t size, size_t count, void* download);
    static size_t onBody(char* data, size_t size, size_t count, void* download);
    void request(const QUrl& url);
    bool readHeadLine(QByteArrayView line);
    bool startBody(long status);
    void onDone(CURLcode result);
    bool take(QByteArrayView body);
    bool toSink(QByteArrayView body);
    void succeed();
    void follow(const QUrl& location);
    void fail(const QString& reason);
    void end(Status status);
    void reportProgress(bool force);
    // Arms m_stall for what is left of the stall limit since the last byte.
    void checkStall();

    QUrl m_url;
    QUrl m_current; // where the last redirect led
    DownloadLimits m_limits;
    CurlTransfer m_transfer;
    CurlLoop m_loop;
    bool m_inCallback = false; // inside libcurl's callbacks, which may not stop it
    QTimer m_stall;            // wakes checkStall(), at most a day ahead
    QElapsedTimer m_lastByte;  // since the last byte (or the request)
    QElapsedTimer m_lastProgress;
    qint64 m_headBytes = 0;               // of the reply's head so far
    bool m_inBody = false;                // the head is read and says a body follows
    std::optional<QUrl> m_redirect;       // where the head sent us
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
