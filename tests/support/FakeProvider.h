#pragma once

// A provider's player interface (player_api.php) for the tests, on an
// HttpTestServer on 127.0.0.1.
#include "HttpTestServer.h"
#include "source/provider/ProviderLogin.h"

#include <QByteArray>
#include <QString>

namespace dorvane::testing {

inline ProviderLogin loginTo(const QString& server, const QString& user = QStringLiteral("joe"),
                             const QString& password = QStringLiteral("s3cret")) {
    ProviderLogin login;
    login.server = providerServer(server);
    login.user = user;
    login.password = password;
    return login;
}

inline const QByteArray kActive = R"({"user_info":{"auth":1,"status":"Active","exp_date":null},
                               "server_info":{"url":"tv.example"}})";

// A fake provider: the answers routed by their exact requests, so that a
// request encoded otherwise finds nothing.
class FakeProvider {
public:
    explicit FakeProvider(const QString& user = QStringLiteral("joe"),
                          const QString& password = QStringLiteral("s3cret"))
        : login(loginTo(server.base(), user, password)) {}

    void answer(QByteArrayView action, const HttpResponse& response) {
        server.route(
            providerRequest(login, action).toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority),
            response);
    }
    void answer(QByteArrayView action, const QByteArray& body) {
        answer(action, HttpResponse{200, "OK", {"Content-Type: application/json"}, body});
    }
    void answerLiveTv() {
        answer({}, kActive);
        answer("get_live_categories", R"([{"category_id":"1","category_name":"News"}])");
        answer("get_live_streams", R"([{"name":"One","stream_id":1,"category_id":"1"}])");
    }

    HttpTestServer server;
    ProviderLogin login;
};

} // namespace dorvane::testing
