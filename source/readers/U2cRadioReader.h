#pragma once

#include "source/readers/ReaderText.h"

namespace dorvane {

// A U2C radio list: "[NetRadioStart]", then a line "[N][NAME][ADDRESS]" per
// station. The address is what follows the last "][", so a name may hold
// brackets.
class U2cRadioReader final : public reading::NamedReader {
public:
    U2cRadioReader()
        : NamedReader({u"U2C Radio", {QStringLiteral("u2c-radio")}, {QStringLiteral("txt")}}) {}

    bool claims(QStringView text) const override {
        return reading::afterBlank(text).startsWith(u"[NetRadioStart]");
    }

    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        reading::forEachLine(text, [&](QStringView line) {
            if (!line.startsWith(u'[') || line.startsWith(u"[NetRadio"))
                return;
            QStringView inside = line.sliced(1);
            if (inside.endsWith(u']'))
                inside.chop(1);
            const qsizetype first = inside.indexOf(u"][");
            const qsizetype last = inside.lastIndexOf(u"][");
            if (first < 0)
                return;
            ReadEntry entry = reading::entryOf({}, inside.sliced(last + 2).toString());
            if (last > first)
                entry.name = inside.sliced(first + 2, last - first - 2).toString();
            reading::addEntry(playlist, std::move(entry));
        });
        return playlist;
    }
};

} // namespace dorvane
