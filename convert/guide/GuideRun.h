#pragma once

#include "convert/Recipe.h"
#include "convert/guide/GuideSettings.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <vector>

namespace dorvane {

class BodySink;
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
    // The playlist's address, from which a relative guide address is found.
    QString playlistAddress;
    // Downloads a guide's address into its reader, stalling at most
    // `timeout` and taking up to kMaxGuideBytes: the command line loads the
    // downloads on demand, the window has them. None: an address is a guide
    // that cannot be read.
    std::function<void(const QUrl&, BodySink&)> fetch;
};

// A guide may be many times a playlist's size; it is never held.
inline constexpr qint64 kMaxGuideBytes = qint64(64) << 30;

// What a cut leaves for the list's target.
struct GuideOutcome {
    bool ran = false;   // a guide was asked for and cut
    bool whole = true;  // no guide failed, none was cut short (or that is allowed)
    QStringList guides; // the guides read, in order
    int matched = 0;
    // The channels the guides have nothing for, by name (GuideCut::unmatched).
    QStringList unmatched;
    // The id each matched channel (by its block) has in the cut.
    QHash<int, QString> writtenIds;
    // Each block's key, taken before any tvg-id was changed.
    std::vector<ChannelKey> keys;
};

// Cuts the guides down to the channels of `lines` (the list about to be
// written) and writes the cut to request.output. The guides are the
// playlist's own (its header's url-tvg and x-tvg-url), the provider's, then
// those of `settings` and of the request, each read once, in that order. A
// channel whose tvg-id the cut had to change ("ID@+N") gets it in `lines`.
// `say` prints a message. A guide that cannot be read, or is refused, is
// said and passed over; one cut short is said, and what came before the cut
// kept. EFOpenError when there is no guide at all.
GuideOutcome cutGuides(const GuideRequest& request, const GuideSettings& settings,
                       TStringList& lines, const std::function<void(const QString&)>& say);

// An Enigma2 bouquet of `lines` with a guide: each channel's service
// reference made unique and stable (its ids from `settings`, or a hash of
// `listName` and its key; the ids of every channel are put back in
// `settings`), and beside the bouquet file "PREFIX.channels.xml" and
// "PREFIX.sources.xml", which the receiver's guide importer reads.
QByteArray enigma2WithGuide(const QByteArray& bouquet, const QString& bouquetFile,
                            const QString& listName, const TStringList& lines,
                            const GuideOutcome& outcome, GuideSettings& settings,
                            const QString& prefix = QStringLiteral("dorvane"));

// The guide address of a provider's playlist address (".../get.php?username=
// U&password=P": ".../xmltv.php?username=U&password=P"); empty for any other.
QString providerGuideAddress(const QString& playlistAddress);

} // namespace dorvane
