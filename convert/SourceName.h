#pragma once

#include <QString>
#include <QStringView>

class QUrl;

#include <utility>

namespace dorvane {

// The name of the playlist a run converts, for targets that name their list
// after it: the playlist file's name without its last extension
// ("russia.m3u" gives "russia"), for a downloaded one the last segment of
// its address's path without its extension, or "Dorvane" for a playlist that
// came from neither (pasted, or read from standard input).
class SourceName {
public:
    SourceName() = default;
    static SourceName ofFile(const QString& path);
    static SourceName ofAddress(const QUrl& url);
    // The name a playlist's own format gave it (an Enigma2 bouquet's); the
    // default when it is empty.
    static SourceName named(QString name) { return ofName(std::move(name)); }
    // A provider's playlist: its server's host name.
    static SourceName ofServer(const QUrl& server);

    QStringView text() const { return m_text; }

private:
    explicit SourceName(QString text) : m_text(std::move(text)) {}
    static SourceName ofName(QString name);

    QString m_text = QStringLiteral("Dorvane");
};

} // namespace dorvane
