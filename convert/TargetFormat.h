#pragma once

#include "TargetKind.h"

#include <QString>
#include <QStringView>

#include <vector>

namespace dorvane {

class LineSink;

// One target format: what the window and dorvane-convert call it, how its
// files are named, and the lines it writes. Each format is one class in
// formats/, registered by one line in Formats.cpp.
class TargetFormat {
public:
    virtual ~TargetFormat() = default;

    virtual TTargetKind kind() const = 0;
    // The radio button's caption ("PLS Playlist").
    virtual QStringView caption() const = 0;
    // The name dorvane-convert's --to takes ("pls").
    virtual QStringView cliName() const = 0;
    // The name Save proposes, without extension ("playlist").
    virtual QString defaultFileName() const = 0;
    // The extension Save appends, with its dot (".m3u").
    virtual QStringView extension() const = 0;

    // False for the M3U and M3U8 targets, which show the playlist itself.
    virtual bool converts() const { return true; }

    // The opening lines of a run.
    virtual void header(LineSink& out) const;
    // The lines of entry number n (from 1).
    virtual void entry(LineSink& out, QStringView channel, QStringView url, int n) const = 0;
    // The closing lines, with the final number of entries.
    virtual void footer(LineSink& out, int count) const;
};

// All targets, in TTargetKind order.
const std::vector<const TargetFormat*>& allFormats();
const TargetFormat& formatFor(TTargetKind kind);
// nullptr when no target has that name.
const TargetFormat* formatByCliName(QStringView name);

} // namespace dorvane
