#include "convert/SourceName.h"

#include <QFileInfo>

namespace dorvane {

SourceName SourceName::ofFile(const QString& path) {
    QString name = QFileInfo(path).completeBaseName();
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
