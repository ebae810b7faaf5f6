#include "source/provider/ProviderLogin.h"

#include "playlist/WebAddress.h"

#include <QUrlQuery>

namespace dorvane {

QUrl providerServer(QStringView typed) {
    QString text = typed.trimmed().toString();
    // Providers hand out their server as "host:port" as often as with a
    // scheme; "host:port" would otherwise parse as scheme "host".
    if (!text.isEmpty() && !looksLikeAddress(text))
        text.prepend(QStringLiteral("http://"));
    const QUrl url = parseWebAddress(text);
    QUrl server;
    server.setScheme(url.scheme().toLower());
    server.setHost(url.host());
    server.setPort(url.port());
    return server;
}

QString serverText(const QUrl& server) {
    return server.toString(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                           QUrl::RemoveUserInfo);
}

QByteArray percentEncodedLogin(QStringView text) {
    // toPercentEncoding leaves exactly the unreserved characters as they are.
    return text.toUtf8().toPercentEncoding();
}

QUrl providerRequest(const ProviderLogin& login, QByteArrayView action) {
    QByteArray address = serverText(login.server).toUtf8();
    address += "/player_api.php?username=";
    address += percentEncodedLogin(login.user);
    address += "&password=";
    address += percentEncodedLogin(login.password);
    if (!action.isEmpty()) {
        address += "&action=";
        address += action;
    }
    return QUrl::fromEncoded(address, QUrl::StrictMode);
}

std::optional<ProviderLogin> loginOfGetAddress(const QUrl& url) {
    if (!isWebScheme(url) || url.host().isEmpty() ||
        !url.path().endsWith(QStringLiteral("/get.php")))
        return std::nullopt;
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("username")) ||
        !query.hasQueryItem(QStringLiteral("password")))
        return std::nullopt;
    ProviderLogin login;
    login.server = providerServer(url.toString(QUrl::RemovePath | QUrl::RemoveQuery |
                                               QUrl::RemoveFragment | QUrl::RemoveUserInfo));
    login.user = query.queryItemValue(QStringLiteral("username"), QUrl::FullyDecoded);
    login.password = query.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    return login;
}

} // namespace dorvane
