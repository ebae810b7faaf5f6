#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

namespace dorvane {

// Web addresses as the program takes them: from File > Open URL, a dropped
// link, the clipboard, or dorvane-convert's INPUT.

// The address with every password it carries replaced by "***": the password
// of its user part and the values of the query parameters named password,
// pass, pwd, passwd, token, access_token, key, api_key, apikey, secret or
// auth (in any case, percent-encoded too). A password written raw with a
// "/", "?", "#" or ":" in it can make the address unparsable, or parse with
// part of the password for a port: then everything between "://" and the
// last "@" is hidden. Everything else is left as written, but for control
// characters, written as \xNN (visibleText). Every address the program shows
// or prints goes through here first, since providers put the account's
// credentials into their playlist links.
QString maskedAddress(QStringView address);
QString maskedAddress(const QUrl& url);
inline QString maskedAddress(const QString& address) {
    return maskedAddress(QStringView(address));
}

// True for the schemes the downloader speaks: http and https.
bool isWebScheme(const QUrl& url);

// True when the text has the form "scheme://..." (a file name rarely does),
// whatever the scheme: dorvane-convert treats such an INPUT as an address and
// refuses the schemes it cannot download instead of looking for a file.
bool looksLikeAddress(QStringView text);

// The one http or https address the text consists of, spaces and line ends
// around it allowed; an empty QUrl when the text is anything else (several
// lines, other words, another scheme, no host).
QUrl webAddressIn(QStringView text);

// The address parsed from what the user typed or passed. EFOpenError
// ("Cannot open URL "%s". ...") when it is not an http or https address
// with a host.
QUrl parseWebAddress(QStringView text);

// A file: address ("file:///home/me/list.m3u", "file://localhost/..."),
// spaces and line ends around it allowed: the local file it names, its
// percent-encoded bytes decoded as file names are (localFileOf). Empty when
// the text is not a file: address; EFOpenError when it names a file on
// another host, which this program cannot reach.
QString fileOfAddress(QStringView text);

// The name of an Enigma2 bouquet made from a downloaded playlist: the last
// segment of the address's path without its last extension, or "Dorvane"
// when that is empty.
QString bouquetNameOf(const QUrl& url);

// "Cannot open URL "%s". %s", the address masked.
QString cannotOpenUrlText(const QUrl& url, const QString& reason);
QString cannotOpenUrlText(QStringView address, const QString& reason);
inline QString cannotOpenUrlText(const QString& address, const QString& reason) {
    return cannotOpenUrlText(QStringView(address), reason);
}
// "No channels found in "%s"", the address masked.
QString noChannelsAtUrlText(const QUrl& url);

} // namespace dorvane
