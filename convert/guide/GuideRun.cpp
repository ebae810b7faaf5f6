#include "convert/guide/GuideRun.h"

#include "convert/Choice.h"
#include "convert/Recipe.h"
#include "convert/guide/EpgImport.h"
#include "convert/guide/GuideCut.h"
#include "convert/guide/GuideMatch.h"
#include "playlist/Errors.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"
#include "playlist/WebAddress.h"
#include "source/guide/GuideReader.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <QUrlQuery>

namespace dorvane {

namespace {

// A shift in half hours from the text of a tvg-shift, or `fallback`.
int shiftOf(QStringView line, int fallback) {
    QStringView value;
    int halfHours = 0;
    if (attributeOf(line, "tvg-shift", value) && parseGuideShift(value, halfHours))
        return halfHours;
    return fallback;
}

// The guide addresses the playlist's header gives: url-tvg and x-tvg-url,
// each a comma-separated list.
QStringList headerGuides(const TStringList& lines, int headerLines, int& headerShift) {
    QStringList guides;
    for (int k = 0; k < headerLines; ++k) {
        const QStringView line = lines.line(k);
        if (!line.trimmed().startsWith(u"#EXTM3U"))
            continue;
        for (const char* name : {"url-tvg", "x-tvg-url"}) {
            QStringView value;
            if (!attributeOf(line, name, value))
                continue;
            for (QStringView address : value.split(u',')) {
                address = address.trimmed();
                if (!address.isEmpty() && !guides.contains(address))
                    guides << address.toString();
            }
        }
        headerShift = shiftOf(line, headerShift);
    }
    return guides;
}

// Replaces, or adds, the tvg-id of a name line.
QString withTvgId(QStringView line, const QString& id) {
    QStringView old;
    if (attributeOf(line, "tvg-id", old)) {
        const qsizetype at = old.data() - line.data();
        return line.first(at).toString() + id + line.sliced(at + old.size()).toString();
    }
    // After "#EXTINF:" and its duration.
    qsizetype at = line.indexOf(u':');
    at = at < 0 ? line.size() : at + 1;
    while (at < line.size() && line[at] != u' ' && line[at] != u',')
        ++at;
    return line.first(at).toString() + QStringLiteral(" tvg-id=\"%1\"").arg(id) +
           line.sliced(at).toString();
}

void readGuide(const QString& source, const GuideRequest& request, guide::GuideReader& reader) {
    if (!looksLikeAddress(source)) {
        guide::readGuideFile(source, reader);
        return;
    }
    QUrl url;
    try {
        url = parseWebAddress(source);
    } catch (const Exception& error) {
        throw EFOpenError(error.Message());
    }
    if (!request.fetch)
        throw EFOpenError(
            QStringLiteral("Cannot download the guide %1").arg(maskedAddress(source)));
    try {
        request.fetch(url, reader);
    } catch (const EStreamError& error) {
        // Broken off on the way: what came is a guide cut short.
        if (reader.bytesRead() == 0)
            throw;
        reader.finishCut(error.Message());
        return;
    }
    reader.finish();
}

// What the cut a run replaces held: its channels' ids and normalised names.
struct FormerCut {
    bool found = false;
    QSet<QString> ids;
    QSet<QString> names;
};

FormerCut readFormerCut(const QString& fileName) {
    struct Taker final : guide::GuideHandler {
        FormerCut& former;
        explicit Taker(FormerCut& former) : former(former) {}
        void root(const std::vector<guide::Attribute>&) override {}
        void channel(const guide::Element& element) override {
            former.ids.insert(QString::fromUtf8(element.attribute("id")));
            for (const QByteArray& name : element.displayNames)
                former.names.insert(guide::normalisedName(QString::fromUtf8(name)));
        }
        bool wantsProgramme(QByteArrayView) override { return false; }
        void programme(const guide::Element&) override {}
    };
    FormerCut former;
    if (!QFileInfo::exists(fileName))
        return former;
    Taker taker(former);
    try {
        guide::GuideReader reader(taker, fileName);
        guide::readGuideFile(fileName, reader);
        former.found = true;
    } catch (const Exception&) { // none to compare with
    }
    former.names.remove(QString());
    return former;
}

QString guideName(const QString& source) {
    return looksLikeAddress(source) ? maskedAddress(source) : source;
}

} // namespace

QString providerGuideAddress(const QString& playlistAddress) {
    const QUrl url(playlistAddress);
    if (!url.isValid() || !url.path().endsWith(u"/get.php"))
        return {};
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("username")) ||
        !query.hasQueryItem(QStringLiteral("password")))
        return {};
    QUrl guide = url;
    guide.setPath(url.path().chopped(7) + QStringLiteral("xmltv.php"));
    QUrlQuery guideQuery;
    guideQuery.addQueryItem(QStringLiteral("username"),
                            query.queryItemValue(QStringLiteral("username"), QUrl::FullyEncoded));
    guideQuery.addQueryItem(QStringLiteral("password"),
                            query.queryItemValue(QStringLiteral("password"), QUrl::FullyEncoded));
    guide.setQuery(guideQuery);
    return guide.toString(QUrl::FullyEncoded);
}

GuideOutcome cutGuides(const GuideRequest& request, const GuideSettings& settings,
                       TStringList& lines, const std::function<void(const QString&)>& say) {
    ChannelIndex index(lines);
    const ChannelKeys keys(index);
    int headerShift = 0;
    QStringList sources = headerGuides(lines, index.headerLines(), headerShift);
    for (QString& source : sources) {
        if (looksLikeAddress(source))
            continue;
        if (!request.playlistAddress.isEmpty())
            source = QUrl(request.playlistAddress).resolved(QUrl(source)).toString();
        else if (!request.playlistFolder.isEmpty())
            source = QDir(request.playlistFolder).absoluteFilePath(source);
    }
    const auto addSource = [&](const QString& source) {
        if (!source.isEmpty() && !sources.contains(source))
            sources << source;
    };
    addSource(request.providerGuide);
    for (const QString& source : settings.guides)
        addSource(source);
    for (const QString& source : request.guides)
        addSource(source);
    if (sources.isEmpty())
        throw EFOpenError(QStringLiteral("No guide to cut: the playlist names none "
                                         "(url-tvg), and no --guide is given"));

    QHash<ChannelKey, QString> handIds;
    for (const GuideSettings::HandId& id : settings.ids)
        handIds.insert(ChannelKey{id.channelId, id.group, id.name}, id.guideId);
    QHash<ChannelKey, int> channelShifts;
    QHash<QString, int> groupShifts;
    for (const GuideSettings::Shift& shift : settings.shifts) {
        if (shift.byGroup)
            groupShifts.insert(shift.group, shift.halfHours);
        else
            channelShifts.insert(ChannelKey{shift.channelId, shift.group, shift.name},
                                 shift.halfHours);
    }

    std::vector<guide::CutChannel> channels;
    channels.reserve(size_t(index.blockCount()));
    for (int block = 0; block < index.blockCount(); ++block) {
        const QStringView line = lines.line(index.firstLine(block));
        const ChannelKey key = keys.key(block);
        guide::CutChannel channel;
        channel.tvgId = tvgIdOf(line).toString();
        channel.name = index.name(block).toString();
        channel.handId = handIds.value(key);
        const QString group = index.groupName(index.groupOf(block)).toString();
        channel.halfHours =
            channelShifts.value(key, groupShifts.value(group, shiftOf(line, headerShift)));
        channels.push_back(std::move(channel));
    }

    guide::GuideCut cut(std::move(channels));
    GuideOutcome outcome;
    outcome.ran = true;
    outcome.guides = sources;
    bool whole = true;
    bool failed = false;
    for (const QString& source : sources) {
        const QString name = guideName(source);
        guide::GuideReader reader(cut.startGuide(name), name);
        try {
            readGuide(source, request, reader);
        } catch (const EStreamError& error) {
            // The others may still have what this one lacks.
            say(error.Message());
            failed = true;
        }
        cut.endGuide();
        if (reader.cutShort()) {
            whole = false;
            say(QStringLiteral("Guide \"%1\" was cut short (%2): every channel and programme "
                               "before the cut is kept")
                    .arg(name, reader.cutShortReason()));
        }
    }
    const FormerCut former = readFormerCut(request.output);
    cut.write(request.output);

    const QHash<int, QString> changed = cut.changedIds();
    for (auto at = changed.cbegin(); at != changed.cend(); ++at) {
        const int line = index.firstLine(at.key());
        lines.setStrings(line, withTvgId(lines.line(line), at.value()));
    }

    const QStringList unmatched = cut.unmatched();
    if (!request.quiet)
        say(QStringLiteral("Guide: %1 of %2 channels matched, %3 programmes, written to %4")
                .arg(cut.matchedCount())
                .arg(cut.channelCount())
                .arg(cut.programmesKept())
                .arg(request.output));
    if (!unmatched.isEmpty() && !request.quiet) {
        say(QStringLiteral("%1 %2 no guide%3")
                .arg(unmatched.size())
                .arg(unmatched.size() == 1 ? QStringLiteral("channel has")
                                           : QStringLiteral("channels have"),
                     request.verbose ? QStringLiteral(":") : QStringLiteral(" (see --verbose)")));
        if (request.verbose)
            for (const QString& name : unmatched)
                say(QStringLiteral("  no guide: %1").arg(name));
    }
    // A refresh names the channels the last cut had and this one has not:
    // a guide that dropped them, or a renamed id.
    if (former.found && !request.quiet) {
        for (int k = 0; k < cut.channelCount(); ++k) {
            const guide::CutChannel& channel = cut.channel(k);
            if (!cut.isMatched(k) &&
                ((!channel.tvgId.isEmpty() && former.ids.contains(channel.tvgId)) ||
                 former.names.contains(guide::normalisedName(channel.name))))
                say(QStringLiteral("No guide any more: %1").arg(channel.name));
        }
    }
    for (int block = 0; block < index.blockCount(); ++block) {
        outcome.keys.push_back(keys.key(block));
        const QString id = cut.writtenId(block);
        if (!id.isEmpty())
            outcome.writtenIds.insert(block, id);
    }
    outcome.matched = cut.matchedCount();
    outcome.unmatched = unmatched;
    outcome.whole = !failed && (whole || request.partialOk);
    return outcome;
}

namespace {

QString keyText(const ChannelKey& key) {
    return key.byId() ? QStringLiteral("id\n") + key.id
                      : QStringLiteral("name\n%1\n%2").arg(key.group, key.name);
}

void writeBeside(const QString& bouquetFile, const QString& name, const QByteArray& bytes) {
    saveBytesToFile(QFileInfo(bouquetFile).dir().filePath(name), bytes);
}

} // namespace

QByteArray enigma2WithGuide(const QByteArray& bouquet, const QString& bouquetFile,
                            const QString& listName, const TStringList& lines,
                            const GuideOutcome& outcome, GuideSettings& settings,
                            const QString& prefix) {
    ChannelIndex index(lines);
    const ChannelKeys keys(index);
    QHash<QString, guide::ServiceIds> kept;
    for (const GuideSettings::ServiceId& id : settings.serviceIds)
        kept.insert(keyText(ChannelKey{id.channelId, id.group, id.name}),
                    guide::ServiceIds::fromText(id.ids));
    // The keys the playlist gave, before a guide id changed a tvg-id.
    const auto keyOf = [&](int block) {
        return size_t(block) < outcome.keys.size() ? outcome.keys[size_t(block)] : keys.key(block);
    };
    // The channels with an address: the bouquet's entries.
    QStringList keyTexts, addresses, names;
    std::vector<int> blocks;
    for (int block = 0; block < index.blockCount(); ++block) {
        for (int line = index.firstLine(block) + 1; line < index.endLine(block); ++line) {
            if (!isStreamLine(lines.line(line)))
                continue;
            keyTexts << keyText(keyOf(block));
            addresses << lines.line(line).trimmed().toString();
            names << index.name(block).toString();
            blocks.push_back(block);
            break;
        }
    }
    const std::vector<guide::ServiceIds> ids = guide::serviceIdsFor(listName, keyTexts, kept);

    settings.serviceIds.clear();
    std::vector<guide::ImportChannel> imported;
    for (size_t k = 0; k < blocks.size(); ++k) {
        const ChannelKey key = keyOf(blocks[k]);
        settings.serviceIds.push_back({key.id, key.group, key.name, ids[k].text()});
        const QString guideId = outcome.writtenIds.value(blocks[k]);
        if (!guideId.isEmpty())
            imported.push_back({guideId, names[qsizetype(k)], ids[k]});
    }
    if (!bouquetFile.isEmpty()) {
        writeBeside(bouquetFile, prefix + QStringLiteral(".channels.xml"),
                    guide::importChannelsXml(imported));
        writeBeside(bouquetFile, prefix + QStringLiteral(".sources.xml"),
                    guide::importSourcesXml(prefix, listName, outcome.guides));
    }
    return guide::withServiceIds(bouquet, addresses, names, ids);
}

} // namespace dorvane
