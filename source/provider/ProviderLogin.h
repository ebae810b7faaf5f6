#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

namespace dorvane {

// The extension of live streams' addresses.
enum class StreamFormat {
    Auto, // "ts", unless the account allows "m3u8" and not "ts"
    Ts,
    M3u8
};

// A login to a provider's player interface (player_api.php): the server,
// the account, and what to read of it.
struct ProviderLogin {
    QUrl server; // scheme, host and port only (providerServer)
    QString user;
    QString password;
    bool live = true;
    bool movies = false;
    StreamFormat streamFormat = StreamFormat::Auto;
};

// The origin of what the user typed as the server: its scheme, host and
// port; a path, a query and a user part are dropped ("example.com:8080/get.php"
// gives "http://example.com:8080"). Without a scheme, http. EFOpenError
// ("Cannot open URL ...") when it is no http or https address with a host.
QUrl providerServer(QStringView typed);

// The server as messages name it: "http://example.com:8080".
QString serverText(const QUrl& server);

// The user name or password as it goes into a query or a path: every byte
// of its UTF-8 but A-Z a-z 0-9 - . _ ~ as %XX, upper-case hex.
QByteArray percentEncodedLogin(QStringView text);

// SERVER/player_api.php?username=U&password=P, with "&action=ACTION" when an
// action is given.
QUrl providerRequest(const ProviderLogin& login, QByteArrayView action = {});

// The login an M3U address of the provider carries: a path that ends in
// "/get.php" and a query with username and password; live TV only.
std::optional<ProviderLogin> loginOfGetAddress(const QUrl& url);

} // namespace dorvane
