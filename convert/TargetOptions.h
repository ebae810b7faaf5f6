#pragma once

#include <QString>

namespace dorvane {

// What the user chooses of a target's output beyond the format itself. The
// sinks carry them to the format's lines.
struct TargetOptions {
    // The Enigma2 service type of stream services: 4097 (the receiver's own
    // player), 5001 or 5002 (the players receivers add).
    int enigma2Type = 4097;
    // The bouquet's name; empty: the playlist's (SourceName).
    QString bouquetName;

    static bool isEnigma2Type(int type) { return type == 4097 || type == 5001 || type == 5002; }
};

// What a run's target could not hold, counted by the sink it wrote into:
// channels whose headers (User-Agent, Referer, Origin) or logo it left out.
struct LostAttributes {
    int headers = 0;
    int logos = 0;
};

} // namespace dorvane
