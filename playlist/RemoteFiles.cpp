#include "playlist/RemoteFiles.h"

#include "playlist/Errors.h"

#include <QDir>
#include <QFileInfo>

#include <curl/curl.h>

#include <cstring>
#include <mutex>

namespace dorvane {

namespace {

// curl_global_init is not thread-safe: once, before the first handle.
void initCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The largest file or answer read: a receiver's bouquet index or a web
// interface's reply is a few kilobytes.
constexpr qsizetype kMaxReadBytes = 64 * 1024 * 1024;

struct Body {
    QByteArray bytes;
    bool tooLarge = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const size_t n = size * count;
    if (body->bytes.size() + qsizetype(n) > kMaxReadBytes) {
        body->tooLarge = true;
        return 0;
    }
    body->bytes.append(data, qsizetype(n));
    return n;
}

struct Upload {
    const QByteArray& bytes;
    qsizetype at = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* upload = static_cast<Upload*>(user);
    const size_t n = std::min(size * count, size_t(upload->bytes.size() - upload->at));
    std::memcpy(buffer, upload->bytes.constData() + upload->at, n);
    upload->at += qsizetype(n);
    return n;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel && cancel->load() ? 1 : 0;
}

// A path's segments percent-encoded for a URL, '/' kept.
QByteArray encodedPath(const QString& path) {
    QByteArray out;
    const QStringList segments = path.split(u'/');
    for (qsizetype k = 0; k < segments.size(); ++k) {
        if (k > 0)
            out += '/';
        out += QUrl::toPercentEncoding(segments[k]);
    }
    return out;
}

// A quoted argument of an SFTP quote command.
QByteArray sftpArgument(const QString& path) {
    QByteArray text = path.toUtf8();
    text.replace('\\', "\\\\");
    text.replace('"', "\\\"");
    return '"' + text + '"';
}

} // namespace

struct RemoteFolder::Handle {
    RemoteLogin login;
    CURL* curl = nullptr;
    // The transfers run through a multi handle of our own, which also keeps
    // the connection from one to the next.
    CURLM* multi = nullptr;
    bool sftp = false;
    QByteArray base;        // "ftp://host:21"
    QString path;           // "/etc/enigma2/"
    QString hostKeyProblem; // why the host key was refused
    char error[CURL_ERROR_SIZE] = {};

    // Sets what every request shares, after a reset (which keeps the
    // connection).
    void prepare(const QByteArray& url) {
        curl_easy_reset(curl);
        error[0] = 0;
        hostKeyProblem.clear();
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, sftp ? "sftp" : "ftp");
        const QByteArray user = login.folder.userName().toUtf8();
        const QByteArray password = login.password.toUtf8();
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
        const long seconds = long(login.timeout.count());
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, seconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, seconds);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, login.cancel);
        if (sftp) {
            const QString home = QDir::homePath();
            long auth = CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_PASSWORD;
            if (!qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK"))
                auth |= CURLSSH_AUTH_AGENT;
            curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES, auth);
            for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
                const QString key = home + QStringLiteral("/.ssh/") + QLatin1String(name);
                if (QFileInfo::exists(key)) {
                    curl_easy_setopt(curl, CURLOPT_SSH_PRIVATE_KEYFILE,
                                     QFile::encodeName(key).constData());
                    break;
                }
            }
            const QByteArray knownHosts =
                QFile::encodeName(home + QStringLiteral("/.ssh/known_hosts"));
            curl_easy_setopt(curl, CURLOPT_SSH_KNOWNHOSTS, knownHosts.constData());
            curl_easy_setopt(curl, CURLOPT_SSH_KEYFUNCTION, hostKeyCheck);
            curl_easy_setopt(curl, CURLOPT_SSH_KEYDATA, this);
        } else {
            curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
            curl_easy_setopt(curl, CURLOPT_FTP_RESPONSE_TIMEOUT, seconds);
        }
    }

    static int hostKeyCheck(CURL*, const curl_khkey*, const curl_khkey*, curl_khmatch match,
                            void* user) {
        auto* self = static_cast<Handle*>(user);
        switch (match) {
        case CURLKHMATCH_OK:
            return CURLKHSTAT_FINE;
        case CURLKHMATCH_MISSING:
            if (self->login.acceptNewHostKey) {
                // libssh2 writes the file, not the folder.
                QDir().mkpath(QDir::homePath() + QStringLiteral("/.ssh"));
                return CURLKHSTAT_FINE_ADD_TO_FILE;
            }
            self->hostKeyProblem =
                QStringLiteral("its host key is unknown (not in ~/.ssh/known_hosts): connect "
                               "once with ssh to check it, or accept it as new "
                               "(--box-accept-new-host-key)");
            return CURLKHSTAT_REJECT;
        default:
            self->hostKeyProblem = QStringLiteral(
                "its host key differs from the one in ~/.ssh/known_hosts: the connection may "
                "be intercepted");
            return CURLKHSTAT_REJECT;
        }
    }

    QByteArray urlOf(const QString& name) const { return base + encodedPath(path + name); }

    // curl_easy_perform, with no wait longer than kLongestWait: between an
    // FTP download and the next transfer's data connection, libcurl 7.88 at
    // times waits on nothing for its longest wait (a second), which made a
    // send that backs up 20 bouquets take 5 s instead of 0.3 s.
    CURLcode perform() {
        static constexpr long kLongestWait = 20; // milliseconds
        if (curl_multi_add_handle(multi, curl) != CURLM_OK)
            return CURLE_OUT_OF_MEMORY;
        CURLcode result = CURLE_OK;
        for (int running = 1; running;) {
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                result = CURLE_SEND_ERROR;
                break;
            }
            if (!running)
                break;
            long wait = -1;
            curl_multi_timeout(multi, &wait);
            if (wait < 0 || wait > kLongestWait)
                wait = kLongestWait;
            curl_multi_poll(multi, nullptr, 0, int(wait), nullptr);
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
                result = message->data.result;
        curl_multi_remove_handle(multi, curl);
        return result;
    }

    // Why a request failed, in words; never the password.
    QString reason(CURLcode code) const {
        if (!hostKeyProblem.isEmpty())
            return hostKeyProblem;
        if (code == CURLE_ABORTED_BY_CALLBACK)
            return QStringLiteral("Cancelled");
        if (code == CURLE_LOGIN_DENIED)
            return QStringLiteral("the server refused the user name or password");
        QString text = error[0] ? QString::fromUtf8(error).trimmed()
                                : QString::fromUtf8(curl_easy_strerror(code));
        if (!login.password.isEmpty())
            text.replace(login.password, QStringLiteral("***"));
        return text;
    }

    template <typename Error> [[noreturn]] void fail(CURLcode code, const QString& what) const {
        throw Error(QStringLiteral("%1: %2").arg(what, reason(code)));
    }

    // Commands without a transfer (rename, delete), each with absolute paths.
    CURLcode command(const QList<QByteArray>& lines) {
        prepare(base + encodedPath(path));
        curl_slist* list = nullptr;
        for (const QByteArray& line : lines)
            list = curl_slist_append(list, line.constData());
        curl_easy_setopt(curl, CURLOPT_QUOTE, list);
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        const CURLcode code = perform();
        curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(list);
        return code;
    }
};

RemoteFolder::RemoteFolder(RemoteLogin login) : m(std::make_unique<Handle>()) {
    initCurl();
    m->login = std::move(login);
    const QUrl& folder = m->login.folder;
    m->sftp = folder.scheme() == u"sftp";
    m->base = folder.scheme().toLatin1() + "://" + QUrl::toAce(folder.host());
    if (folder.host().contains(u':'))
        m->base = folder.scheme().toLatin1() + "://[" + folder.host().toLatin1() + ']';
    if (folder.port() > 0)
        m->base += ':' + QByteArray::number(folder.port());
    m->path = folder.path();
    if (!m->path.startsWith(u'/'))
        m->path.prepend(u'/');
    if (!m->path.endsWith(u'/'))
        m->path += u'/';
    // FTP paths in a URL are taken from the login's home folder; "%2F"
    // makes them start at the root.
    if (!m->sftp)
        m->base += "/%2F";
    else
        m->base += '/';
    m->path.remove(0, 1);
    m->curl = curl_easy_init();
    m->multi = curl_multi_init();
    if (!m->curl || !m->multi)
        throw EReadError(QStringLiteral("Cannot connect to %1: out of memory").arg(folderText()));
}

RemoteFolder::~RemoteFolder() {
    if (m->curl)
        curl_easy_cleanup(m->curl);
    if (m->multi)
        curl_multi_cleanup(m->multi);
}

QString RemoteFolder::folderText() const {
    QUrl url = m->login.folder;
    url.setPassword(QString());
    return url.toString(QUrl::RemovePassword);
}

QStringList RemoteFolder::list() {
    m->prepare(m->base + encodedPath(m->path));
    Body body;
    curl_easy_setopt(m->curl, CURLOPT_DIRLISTONLY, 1L);
    curl_easy_setopt(m->curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(m->curl, CURLOPT_WRITEDATA, &body);
    const CURLcode code = m->perform();
    if (code != CURLE_OK)
        m->fail<EReadError>(code, QStringLiteral("Cannot list %1").arg(folderText()));
    QStringList names;
    for (QByteArray line : body.bytes.split('\n')) {
        line = line.trimmed();
        // Some servers name each entry with its folder.
        const qsizetype slash = line.lastIndexOf('/');
        if (slash >= 0)
            line = line.sliced(slash + 1);
        if (!line.isEmpty() && line != "." && line != "..")
            names.append(QString::fromUtf8(line));
    }
    return names;
}

std::optional<QByteArray> RemoteFolder::get(const QString& name) {
    m->prepare(m->urlOf(name));
    Body body;
    curl_easy_setopt(m->curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(m->curl, CURLOPT_WRITEDATA, &body);
    const CURLcode code = m->perform();
    if (code == CURLE_REMOTE_FILE_NOT_FOUND)
        return std::nullopt;
    if (code != CURLE_OK)
        m->fail<EReadError>(code,
                            QStringLiteral("Cannot read \"%1\" from %2").arg(name, folderText()));
    return std::move(body.bytes);
}

void RemoteFolder::put(const QString& name, const QByteArray& bytes) {
    m->prepare(m->urlOf(name));
    Upload upload{bytes};
    curl_easy_setopt(m->curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m->curl, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(m->curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(m->curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(bytes.size()));
    const CURLcode code = m->perform();
    if (code != CURLE_OK)
        m->fail<EWriteError>(code,
                             QStringLiteral("Cannot write \"%1\" to %2").arg(name, folderText()));
}

void RemoteFolder::rename(const QString& from, const QString& to) {
    const QString fromPath = u'/' + m->path + from;
    const QString toPath = u'/' + m->path + to;
    const auto failed = [&](CURLcode code) {
        m->fail<EWriteError>(
            code,
            QStringLiteral("Cannot rename \"%1\" to \"%2\" in %3").arg(from, to, folderText()));
    };
    if (!m->sftp) {
        const CURLcode code = m->command({"RNFR " + fromPath.toUtf8(), "RNTO " + toPath.toUtf8()});
        if (code != CURLE_OK)
            failed(code);
        return;
    }
    const auto renameCommand = [](const QString& a, const QString& b) {
        return "rename " + sftpArgument(a) + ' ' + sftpArgument(b);
    };
    CURLcode code = m->command({renameCommand(fromPath, toPath)});
    if (code == CURLE_OK)
        return;
    // SFTP's rename refuses to replace a file: the old one goes aside, the
    // new one takes its name, and the old one is put back should that fail.
    if (code != CURLE_QUOTE_ERROR)
        failed(code);
    const QString asidePath = fromPath + QStringLiteral("-old");
    if (m->command({renameCommand(toPath, asidePath)}) != CURLE_OK)
        failed(code);
    code = m->command({renameCommand(fromPath, toPath)});
    if (code != CURLE_OK) {
        const QString why = m->reason(code);
        m->command({renameCommand(asidePath, toPath)});
        throw EWriteError(QStringLiteral("Cannot rename \"%1\" to \"%2\" in %3: %4")
                              .arg(from, to, folderText(), why));
    }
    m->command({"rm " + sftpArgument(asidePath)});
}

void RemoteFolder::remove(const QString& name) {
    const QString path = u'/' + m->path + name;
    const CURLcode code =
        m->command({m->sftp ? "rm " + sftpArgument(path) : "DELE " + path.toUtf8()});
    if (code != CURLE_OK)
        m->fail<EWriteError>(
            code, QStringLiteral("Cannot delete \"%1\" from %2").arg(name, folderText()));
}

HttpAnswer httpGet(const QUrl& url, const QString& user, const QString& password,
                   std::chrono::seconds timeout, const std::atomic<bool>* cancel) {
    initCurl();
    CURL* curl = curl_easy_init();
    if (!curl)
        throw EReadError(QStringLiteral("Cannot connect: out of memory"));
    const QByteArray address = url.toEncoded(QUrl::RemoveUserInfo);
    const QByteArray name = user.toUtf8();
    const QByteArray secret = password.toUtf8();
    char error[CURL_ERROR_SIZE] = {};
    Body body;
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERNAME, name.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, secret.constData());
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, cancel);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode code = curl_easy_perform(curl);
    HttpAnswer answer;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK) {
        QString why = code == CURLE_ABORTED_BY_CALLBACK ? QStringLiteral("Cancelled")
                      : error[0]                        ? QString::fromUtf8(error).trimmed()
                                 : QString::fromUtf8(curl_easy_strerror(code));
        if (!password.isEmpty())
            why.replace(password, QStringLiteral("***"));
        throw EReadError(
            QStringLiteral("No answer from %1: %2").arg(url.toString(QUrl::RemoveUserInfo), why));
    }
    answer.body = std::move(body.bytes);
    return answer;
}

} // namespace dorvane
