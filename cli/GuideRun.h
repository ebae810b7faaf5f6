#pragma once

#include "convert/guide/GuideSettings.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace dorvane {

class TStringList;

// What dorvane-convert is asked of the programme guide.
struct GuideRequest {
    QStringList guides; // files and addresses, after the playlist's own
    QString output;     // the cut's file (.xml or .xml.gz)
    bool partialOk = false;
    bool verbose = false;
    bool quiet = false;
    std::chrono::milliseconds timeout{30000};
    // The provider's guide (its xmltv.php), when the playlist is a provider's.
    QString providerGuide;
    // The playlist file's folder, from which a guide file it names is found.
    QString playlistFolder;
};

// Cuts the guides down to the channels of `lines` (the list about to be
// written) and writes the cut to request.output. The guides are the
// playlist's own (its header's url-tvg and x-tvg-url), the provider's, then
// those of `settings` and of the request, each read once, in that order. A
// channel whose tvg-id the cut had to change ("ID@+N") gets it in `lines`.
// `say` prints a message. False when a guide was cut short (what came
// before the cut is written, and said).
bool cutGuides(const GuideRequest& request, const GuideSettings& settings, TStringList& lines,
               const std::function<void(const QString&)>& say);

// The guide address of a provider's playlist address (".../get.php?username=
// U&password=P": ".../xmltv.php?username=U&password=P"); empty for any other.
QString providerGuideAddress(const QString& playlistAddress);

} // namespace dorvane
