#include "convert/SourceName.h"

#include "playlist/WebAddress.h"

#include <QFileInfo>
#include <QUrl>

namespace dorvane {

SourceName SourceName::ofFile(const QString& path) {
    return ofName(QFileInfo(path).completeBaseName());
}

SourceName SourceName::ofAddress(const QUrl& url) {
    return ofName(bouquetNameOf(url));
}

SourceName SourceName::ofServer(const QUrl& server) {
    return ofName(server.host());
}

SourceName SourceName::ofName(QString name) {
    // The name goes into a line of the output: a line break or other control
    // character that a file name may hold would break that line in two.
    for (QChar& c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    // ".m3u" has nothing left to name the list by.
    if (name.isEmpty())
        return {};
    return SourceName(std::move(name));
}

} // namespace dorvane
