#include "app/SystemProxy.h"

#include "playlist/CurlTransfer.h"

#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QUrl>

namespace dorvane {

QString curlProxyText(const QNetworkProxy& proxy) {
    QString scheme;
    switch (proxy.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
        scheme = QStringLiteral("http");
        break;
    case QNetworkProxy::Socks5Proxy:
        scheme = QStringLiteral("socks5h"); // names resolved by the proxy
        break;
    default:
        return {}; // none, or one curl cannot use
    }
    if (proxy.hostName().isEmpty())
        return {};
    QUrl url;
    url.setScheme(scheme);
    url.setHost(proxy.hostName());
    url.setPort(proxy.port() > 0 ? proxy.port() : -1);
    url.setUserName(proxy.user());
    url.setPassword(proxy.password());
    return url.toString(QUrl::FullyEncoded);
}

void useSystemProxies() {
    CurlTransfer::setProxyChooser([](const QUrl& url) {
        const QList<QNetworkProxy> proxies =
            QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
        return proxies.isEmpty() ? QString() : curlProxyText(proxies.constFirst());
    });
}

} // namespace dorvane
