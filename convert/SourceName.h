#pragma once

#include <QString>
#include <QStringView>

#include <utility>

namespace dorvane {

// The name of the playlist a run converts, for targets that name their list
// after it: the playlist file's name without its last extension
// ("russia.m3u" gives "russia"), or "Dorvane" for a playlist that came from
// no file (pasted, or read from standard input).
class SourceName {
public:
    SourceName() = default;
    static SourceName ofFile(const QString& path);

    QStringView text() const { return m_text; }

private:
    explicit SourceName(QString text) : m_text(std::move(text)) {}

    QString m_text = QStringLiteral("Dorvane");
};

} // namespace dorvane
