#pragma once

#include "source/readers/ReaderText.h"

namespace dorvane {

// The feeds of OpenBox receivers, both kinds: blocks of "[TITLE]", "[URL]",
// "[DESCRIPTION]" and "[TYPE]", each followed by its value on the next line.
// The channel's name is its description (the plain kind's title is the
// same word for every channel). The line after a header is its value
// whatever it holds, a header's word too.
class OpenBoxReader final : public reading::NamedReader {
public:
    OpenBoxReader()
        : NamedReader({u"OpenBox Feed",
                       {QStringLiteral("openbox"), QStringLiteral("openbox-sx")},
                       {QStringLiteral("m3u")}}) {}

    bool claims(QStringView text) const override {
        return reading::afterBlank(text).startsWith(u"[TITLE]");
    }

    ReadPlaylist read(QStringView text) const override {
        ReadPlaylist playlist;
        ReadEntry entry;
        bool inBlock = false;
        QString* value = nullptr; // the field the next line is the value of
        QString ignored;          // the title's and the type's
        reading::forEachLine(text, [&](QStringView line) {
            if (value) {
                if (value != &ignored)
                    *value = line.toString();
                value = nullptr;
                return;
            }
            const QStringView tag = line.trimmed();
            if (tag == u"[TITLE]") {
                if (inBlock)
                    reading::addEntry(playlist, std::move(entry));
                entry = {};
                inBlock = true;
                value = &ignored;
            } else if (tag == u"[TYPE]") {
                value = &ignored;
            } else if (tag == u"[URL]") {
                value = &entry.address;
            } else if (tag == u"[DESCRIPTION]") {
                value = &entry.name;
            }
        });
        if (inBlock)
            reading::addEntry(playlist, std::move(entry));
        return playlist;
    }
};

} // namespace dorvane
