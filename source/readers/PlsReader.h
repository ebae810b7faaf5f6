#pragma once

#include "source/readers/ReaderText.h"

#include <map>

namespace dorvane {

// "[playlist]", then FileN=address and TitleN=name pairs, in any order and
// any case of the keys; entries come by ascending N.
class PlsReader final : public reading::NamedReader {
public:
    PlsReader()
        : NamedReader({u"PLS Playlist", {QStringLiteral("pls")}, {QStringLiteral("pls")}}) {}

    bool claims(QStringView text) const override {
        return reading::afterBlank(text).startsWith(u"[playlist]");
    }

    ReadPlaylist read(QStringView text) const override {
        std::map<qulonglong, ReadEntry> numbered;
        reading::forEachLine(text, [&](QStringView line) {
            const qsizetype equals = line.indexOf(u'=');
            if (equals < 0)
                return;
            const QStringView key = line.first(equals).trimmed();
            for (const QStringView field : {u"file", u"title"}) {
                if (!key.startsWith(field, Qt::CaseInsensitive))
                    continue;
                bool ok = false;
                const qulonglong n = key.sliced(field.size()).toULongLong(&ok);
                if (!ok)
                    continue;
                (field == u"file" ? numbered[n].address : numbered[n].name) =
                    line.sliced(equals + 1).toString();
            }
        });
        ReadPlaylist playlist;
        for (auto& [n, entry] : numbered)
            reading::addEntry(playlist, std::move(entry));
        return playlist;
    }
};

} // namespace dorvane
