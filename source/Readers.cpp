#include "source/PlaylistReader.h"

#include "source/readers/AzBoxReader.h"
#include "source/readers/Enigma2Reader.h"
#include "source/readers/IptvxReader.h"
#include "source/readers/M3uReader.h"
#include "source/readers/OpenBoxReader.h"
#include "source/readers/PlsReader.h"
#include "source/readers/U2cRadioReader.h"
#include "source/readers/WebTvReader.h"
#include "source/readers/WizardHdReader.h"
#include "source/readers/WplReader.h"
#include "source/readers/XspfReader.h"

namespace dorvane {

namespace {

template <typename Reader> const PlaylistReader* single() {
    static const Reader reader;
    return &reader;
}

} // namespace

const std::vector<const PlaylistReader*>& allReaders() {
    // One line per reader, in the order they are asked after M3U.
    // clang-format off
    static const std::vector<const PlaylistReader*> readers{
        single<M3uReader>(),
        single<PlsReader>(),
        single<XspfReader>(),
        single<WplReader>(),
        single<Enigma2Reader>(),
        single<WebTvReader>(),
        single<IptvxReader>(),
        single<OpenBoxReader>(),
        single<U2cRadioReader>(),
        single<AzBoxReader>(),
        single<WizardHdReader>(),
    };
    // clang-format on
    return readers;
}

const PlaylistReader& m3uReader() {
    return *allReaders().front();
}

const PlaylistReader* readerByFormat(QStringView format) {
    for (const PlaylistReader* reader : allReaders())
        if (reader->formats().contains(format))
            return reader;
    return nullptr;
}

const PlaylistReader& readerFor(QStringView text) {
    for (const PlaylistReader* reader : allReaders())
        if (reader->claims(text))
            return *reader;
    return m3uReader();
}

QString readerFileFilter() {
    const auto patterns = [](const QStringList& extensions) {
        QStringList list;
        for (const QString& extension : extensions)
            list += QStringLiteral("*.") + extension;
        return list.join(u';');
    };
    QStringList all;
    QString formats;
    for (const PlaylistReader* reader : allReaders()) {
        for (const QString& extension : reader->extensions())
            if (!all.contains(extension))
                all += extension;
        const QString mine = patterns(reader->extensions());
        formats += QStringLiteral("|%1 (%2)|%2").arg(reader->caption(), mine);
    }
    const QString every = patterns(all);
    return QStringLiteral("All playlists (%1)|%1").arg(every) + formats +
           QStringLiteral("|All files (*)|*");
}

} // namespace dorvane
