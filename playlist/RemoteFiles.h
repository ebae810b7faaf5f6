#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

namespace dorvane {

// The files of one folder on another machine, over FTP or SFTP, through
// libcurl: what sending lists to a receiver needs, and no more. One
// connection is opened at the first call and kept for the next ones.
//
// The folder's path is always taken from the root ("ftp://box/etc/enigma2/"
// is /etc/enigma2, whatever the login's home folder is). SFTP logs in with
// the user's SSH key (~/.ssh/id_ed25519, id_ecdsa or id_rsa, or the agent)
// or the password, and checks the server's host key against
// ~/.ssh/known_hosts as ssh does: a key that differs is always refused, an
// unknown one unless `acceptNewHostKey`, which then adds it to the file.
//
// Every failure is an EReadError (a listing or a file read) or an
// EWriteError (anything written), whose message says what failed, the file
// and why; never the password.
struct RemoteLogin {
    QUrl folder; // ftp:// or sftp://, with the user; the path ends in '/'
    QString password;
    bool acceptNewHostKey = false;
    std::chrono::seconds timeout{30}; // without a byte either way
    // Set from another thread to stop what is being done (it fails, "Cancelled").
    const std::atomic<bool>* cancel = nullptr;
};

class RemoteFolder {
public:
    explicit RemoteFolder(RemoteLogin login);
    ~RemoteFolder();
    RemoteFolder(const RemoteFolder&) = delete;
    RemoteFolder& operator=(const RemoteFolder&) = delete;

    // The names of the folder's entries.
    QStringList list();
    // A file's bytes; nothing when there is no such file.
    std::optional<QByteArray> get(const QString& name);
    // Writes the file whole, replacing one of that name.
    void put(const QString& name, const QByteArray& bytes);
    // Gives `from` the name `to`, replacing a file of that name (where the
    // server cannot, the old one is moved aside first and put back should
    // the rename fail).
    void rename(const QString& from, const QString& to);
    void remove(const QString& name);

    // "ftp://root@box/etc/enigma2/", for messages.
    QString folderText() const;

private:
    struct Handle;
    std::unique_ptr<Handle> m;
};

// One HTTP GET with Basic auth (when `user` is not empty), for a device's
// web interface. Its status and body; EReadError when there is no answer.
struct HttpAnswer {
    long status = 0;
    QByteArray body;
};
HttpAnswer httpGet(const QUrl& url, const QString& user, const QString& password,
                   std::chrono::seconds timeout, const std::atomic<bool>* cancel = nullptr);

} // namespace dorvane
