#pragma once

#include "source/readers/ReaderText.h"

#include <algorithm>
#include <optional>

namespace dorvane {

// An AzBox list: a line "N,NAME,256,ADDRESS" per channel. The name ends at
// the last ",256," before the address's stream marker, so it may hold
// commas and even ",256,".
class AzBoxReader final : public reading::LineListReader<AzBoxReader> {
public:
    AzBoxReader()
        : LineListReader({u"AzBox", {QStringLiteral("azbox")}, {QStringLiteral("txt")}}) {}

    static std::optional<ReadEntry> of(QStringView line) {
        qsizetype digits = 0;
        while (digits < line.size() && line[digits].isDigit() && line[digits].unicode() < 128)
            ++digits;
        if (digits == 0 || digits >= line.size() || line[digits] != u',')
            return std::nullopt;
        const qsizetype marker = reading::streamMarkerAt(line);
        if (marker < 0)
            return std::nullopt;
        const qsizetype at = line.first(marker).lastIndexOf(u",256,");
        if (at < digits)
            return std::nullopt;
        // "N,256,ADDRESS": the ",256," is the number's comma too, and the
        // name is missing.
        const qsizetype nameFrom = std::min(digits + 1, at);
        return reading::entryOf(line.sliced(nameFrom, at - nameFrom).toString(),
                                line.sliced(at + 5).toString());
    }
};

} // namespace dorvane
