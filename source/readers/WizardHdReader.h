#pragma once

#include "source/readers/ReaderText.h"

#include <optional>

namespace dorvane {

// A Wizard HD list: a line "NAME,ADDRESS" per channel. The name ends at the
// last comma before the address's stream marker.
class WizardHdReader final : public reading::LineListReader<WizardHdReader> {
public:
    WizardHdReader()
        : LineListReader({u"Wizard HD", {QStringLiteral("wizard-hd")}, {QStringLiteral("txt")}}) {}

    static std::optional<ReadEntry> of(QStringView line) {
        const qsizetype marker = reading::streamMarkerAt(line);
        const qsizetype comma = marker < 0 ? -1 : line.first(marker).lastIndexOf(u',');
        if (comma < 0)
            return std::nullopt;
        return reading::entryOf(line.first(comma).toString(), line.sliced(comma + 1).toString());
    }
};

} // namespace dorvane
