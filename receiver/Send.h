#pragma once

#include "receiver/Bouquets.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace dorvane {

// Sending bouquets to a receiver: its folder over FTP or SFTP, then a reload
// through its web interface.

// The folder of a --send-to address: ftp:// or sftp://, a user and a host,
// the path /etc/enigma2/ when none is given (always from the root, always
// ending in '/'). EReadError, saying what is wrong, for any other text, and
// for an address that holds a password (it belongs in a file, not in a
// command line or a recipe).
QUrl receiverFolder(const QString& address);

// The reload's address: `given` (--reload-url), completed with
// /web/servicelistreload?mode=2 when it has no path; by default that path
// on the folder's host, over http.
QUrl reloadAddress(const QUrl& folder, const QString& given = {});

enum class SendStep { Connecting, BackingUp, Uploading, WritingIndex, Deleting, Reloading };

struct SendPlan {
    QUrl folder; // receiverFolder
    QString password;
    QString prefix = QString::fromUtf16(kDefaultBouquetPrefix);
    bool acceptNewHostKey = false;
    bool reload = true;
    QUrl reloadUrl; // empty: reloadAddress(folder)
    // Where the receiver's old files are copied first; empty: the user's
    // (XDG_DATA_HOME or ~/.local/share)/dorvane/backups.
    QString backupRoot;
    std::chrono::seconds timeout{30};
    const std::atomic<bool>* cancel = nullptr;
    // Told before each step, with the file it is about (empty for none).
    std::function<void(SendStep step, const QString& file)> progress;
};

struct SendReport {
    int files = 0;        // bouquets written
    QStringList deleted;  // our files no longer written, deleted
    QString backupFolder; // empty: there was nothing to copy
    bool reloaded = false;
    QString reloadProblem; // why the reload failed; empty when it did not
    QStringList warnings;  // what went wrong once the index was in place
};

// Sends the bouquets: copies the receiver's index and our old files into the
// backup folder, writes each bouquet under a temporary name and renames it
// into place, then the index (mergedBouquetIndex) the same way, deletes our
// files no longer written, and asks the receiver to reload (unless
// plan.reload is false). Nothing but our files and the index is written
// or deleted. A failure up to the index's rename throws (EReadError or
// EWriteError; the message names the step and the file) and leaves the
// receiver's index as it was; a failure after it is a warning, and the
// reload's a problem of the report.
SendReport sendBouquets(const std::vector<Bouquet>& bouquets, const SendPlan& plan);

// The English name of a step, for messages ("Uploading").
QString stepText(SendStep step);

} // namespace dorvane
