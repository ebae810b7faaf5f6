#include "receiver/Send.h"

#include "playlist/Errors.h"

#include <algorithm>

namespace dorvane {

QString stepText(SendStep step) {
    switch (step) {
    case SendStep::Connecting:
        return QStringLiteral("Connecting");
    case SendStep::BackingUp:
        return QStringLiteral("Backing up");
    case SendStep::Uploading:
        return QStringLiteral("Uploading");
    case SendStep::WritingIndex:
        return QStringLiteral("Writing the index");
    case SendStep::Deleting:
        return QStringLiteral("Deleting");
    case SendStep::Reloading:
        return QStringLiteral("Reloading");
    }
    return {};
}

QUrl receiverFolder(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    const auto refuse = [&](const QString& why) {
        throw EReadError(QStringLiteral("Cannot send to \"%1\": %2")
                             .arg(url.toString(QUrl::RemovePassword), why));
    };
    if (!url.isValid() || (url.scheme() != u"ftp" && url.scheme() != u"sftp"))
        refuse(
            QStringLiteral("give ftp://USER@HOST[:PORT]/PATH/ or sftp://USER@HOST[:PORT]/PATH/"));
    if (url.host().isEmpty())
        refuse(QStringLiteral("the address names no host"));
    if (url.userName().isEmpty())
        refuse(QStringLiteral("the address names no user (USER@HOST)"));
    if (!url.password().isEmpty())
        refuse(QStringLiteral("a password has no place in the address: give --box-password-file "
                              "FILE or set DORVANE_BOX_PASSWORD"));
    if (url.hasQuery() || url.hasFragment())
        refuse(QStringLiteral("the address is a folder, without ? or #"));
    QUrl folder = url;
    QString path = url.path();
    // The path goes into FTP and SFTP commands as it is.
    if (std::any_of(path.begin(), path.end(), [](QChar c) { return c.unicode() < 0x20; }))
        refuse(QStringLiteral("the path holds a control character"));
    if (path.isEmpty() || path == u"/")
        path = QStringLiteral("/etc/enigma2/");
    if (!path.endsWith(u'/'))
        path += u'/';
    folder.setPath(path);
    return folder;
}

QUrl reloadAddress(const QUrl& folder, const QString& given) {
    QUrl url;
    if (given.isEmpty()) {
        url.setScheme(QStringLiteral("http"));
        url.setHost(folder.host());
    } else {
        url = QUrl(given, QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https") ||
            url.host().isEmpty())
            throw EReadError(QStringLiteral("Cannot reload through \"%1\": give an http:// or "
                                            "https:// address")
                                 .arg(url.toString(QUrl::RemoveUserInfo)));
        url.setUserInfo(QString());
        if (!url.path().isEmpty() && url.path() != u"/")
            return url;
    }
    url.setPath(QStringLiteral("/web/servicelistreload"));
    url.setQuery(QStringLiteral("mode=2"));
    return url;
}

} // namespace dorvane
