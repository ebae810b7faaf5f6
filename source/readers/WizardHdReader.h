#pragma once

#include "source/readers/ReaderText.h"

#include <optional>

namespace dorvane {

// A Wizard HD list: a line "NAME,ADDRESS" per channel. The name ends at the
// last comma before the address's stream marker.
class WizardHdReader final : public PlaylistReader {
public:
    QStringView caption() const override { return u"Wizard HD"; }
    QStringList formats() const override { return {QStringLiteral("wizard-hd")}; }
    QStringList extensions() const override { return {QStringLiteral("txt")}; }

    bool claims(QStringView text) const override {
        return reading::everyLine(text, [](QStringView line) { return split(line).has_value(); });
    }

    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        reading::forEachLine(text, [&](QStringView line) {
            if (const auto entry = split(line))
                reading::addEntry(playlist, *entry);
        });
        return playlist;
    }

private:
    static std::optional<ReadEntry> split(QStringView line) {
        const qsizetype marker = reading::streamMarkerAt(line);
        const qsizetype comma = marker < 0 ? -1 : line.first(marker).lastIndexOf(u',');
        if (comma < 0)
            return std::nullopt;
        return reading::entryOf(line.first(comma).toString(), line.sliced(comma + 1).toString());
    }
};

} // namespace dorvane
