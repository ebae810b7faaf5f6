#include "receiver/Bouquets.h"

#include "convert/Choice.h"
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"

#include <QSet>

#include <algorithm>

namespace dorvane {

namespace {

constexpr qsizetype kMaxSlug = 40;
const QString kNoGroupSlug = QStringLiteral("nogroup");

bool isSlugChar(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
}

QString trimmedUnderscores(QString text) {
    while (text.startsWith(u'_'))
        text.remove(0, 1);
    while (text.endsWith(u'_'))
        text.chop(1);
    return text;
}

// The lines as the Enigma2 target writes them, in UTF-8.
QByteArray enigma2Bytes(const TStringList& lines, const SourceName& name,
                        const TargetOptions& options, int& channels) {
    const TargetFormat& target = formatFor(TTargetKind::tkEnigma2);
    QByteArray bytes = target.preamble(TEncoding::UTF8(), false);
    EncodingSink sink(bytes, TEncoding::UTF8(), target.lineEnd());
    sink.options = options;
    channels = convertLines(target, lines, sink, name).channels;
    sink.flush();
    return bytes;
}

// The file an index line lists ("#SERVICE ...FROM BOUQUET "FILE" ..."), or
// nothing.
QStringView listedFile(QStringView line) {
    if (!line.startsWith(u"#SERVICE"))
        return {};
    static constexpr QStringView kFrom = u"FROM BOUQUET \"";
    const qsizetype from = line.indexOf(kFrom);
    if (from < 0)
        return {};
    const qsizetype begin = from + kFrom.size();
    const qsizetype end = line.indexOf(u'"', begin);
    return end < 0 ? QStringView() : line.sliced(begin, end - begin);
}

} // namespace

bool isBouquetPrefix(QStringView prefix) {
    return !prefix.isEmpty() && std::all_of(prefix.begin(), prefix.end(), isSlugChar);
}

QString slugOf(QStringView group) {
    QString slug;
    for (const QChar c : group) {
        const QChar lower = c.unicode() < 128 ? c.toLower() : c;
        if (isSlugChar(lower))
            slug += lower;
        else if (c.unicode() < 128 && !c.isLetterOrNumber())
            slug += u'_';
        // Other letters have no ASCII spelling here: dropped.
        if (slug.endsWith(QStringLiteral("__")))
            slug.chop(1);
    }
    slug = trimmedUnderscores(slug).left(kMaxSlug);
    slug = trimmedUnderscores(slug);
    return slug.isEmpty() ? QStringLiteral("group") : slug;
}

QString bouquetFileName(QStringView prefix, QStringView slug) {
    QString name = QStringLiteral("userbouquet.") + prefix.toString();
    if (!slug.isEmpty())
        name += u'_' + slug.toString();
    return name + QStringLiteral(".tv");
}

bool isOurBouquetFile(QStringView file, QStringView prefix) {
    const QString start = QStringLiteral("userbouquet.") + prefix.toString();
    if (!file.startsWith(start) || !file.endsWith(u".tv"))
        return false;
    const QStringView rest = file.sliced(start.size(), file.size() - start.size() - 3);
    return rest.isEmpty() || (rest.size() > 1 && rest[0] == u'_' &&
                              std::all_of(rest.begin(), rest.end(), isSlugChar));
}

std::vector<Bouquet> makeBouquets(const TStringList& lines, const SourceName& name,
                                  QStringView prefix, bool perGroup,
                                  const std::vector<GroupRename>& renames,
                                  std::vector<GroupSlug>& slugs, const TargetOptions& options) {
    std::vector<Bouquet> bouquets;
    if (!perGroup) {
        Bouquet bouquet;
        bouquet.file = bouquetFileName(prefix);
        bouquet.name = options.bouquetName.isEmpty() ? name.text().toString() : options.bouquetName;
        bouquet.bytes = enigma2Bytes(lines, name, options, bouquet.channels);
        bouquets.push_back(std::move(bouquet));
        return bouquets;
    }

    ChannelIndex index(lines);
    std::vector<int> groups(size_t(index.groupCount()));
    for (int g = 0; g < index.groupCount(); ++g)
        groups[size_t(g)] = g;
    // In the list's order: by each group's first block.
    std::stable_sort(groups.begin(), groups.end(), [&](int a, int b) {
        const auto first = [&](int g) {
            const std::vector<int>& blocks = index.groupBlocks(g);
            return blocks.empty() ? index.blockCount() : blocks.front();
        };
        return first(a) < first(b);
    });

    QSet<QString> taken{kNoGroupSlug};
    for (const GroupSlug& slug : slugs)
        taken.insert(slug.slug);
    const auto slugFor = [&](const QString& group) {
        // The recipe knows a group by the playlist's own name.
        QString own = group;
        for (const GroupRename& rename : renames)
            if (rename.name == group)
                own = rename.group;
        for (const GroupSlug& slug : slugs)
            if (slug.group == own && isBouquetPrefix(slug.slug))
                return slug.slug;
        const QString base = slugOf(group);
        QString slug = base;
        for (int n = 2; taken.contains(slug); ++n) {
            const QString suffix = u'_' + QString::number(n);
            slug = trimmedUnderscores(base.left(kMaxSlug - suffix.size())) + suffix;
        }
        taken.insert(slug);
        slugs.push_back({own, slug});
        return slug;
    };

    TargetOptions groupOptions = options;
    groupOptions.bouquetName.clear(); // each is named after its group
    for (const int g : groups) {
        std::vector<char> chosen(size_t(index.blockCount()), 0);
        for (const int block : index.groupBlocks(g))
            chosen[size_t(block)] = 1;
        const TStringList groupLines = index.chosenLines(chosen, false);
        const QString group = index.groupName(g).toString();
        Bouquet bouquet;
        const SourceName bouquetName = group.isEmpty() ? name : SourceName::named(group);
        bouquet.name = bouquetName.text().toString();
        bouquet.bytes = enigma2Bytes(groupLines, bouquetName, groupOptions, bouquet.channels);
        if (bouquet.channels == 0)
            continue;
        bouquet.file = bouquetFileName(prefix, group.isEmpty() ? kNoGroupSlug : slugFor(group));
        bouquets.push_back(std::move(bouquet));
    }
    return bouquets;
}

QByteArray mergedBouquetIndex(const std::optional<QByteArray>& index, QStringView prefix,
                              const QStringList& files) {
    QByteArray text = index ? *index : QByteArray("#NAME User - bouquets (TV)\n");
    // Our lines end as the index's first line does.
    const qsizetype firstEnd = text.indexOf('\n');
    const QByteArray lineEnd = firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
    QByteArray ours;
    for (const QString& file : files)
        ours += "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"" + file.toUtf8() +
                "\" ORDER BY bouquet" + lineEnd;

    QByteArray out;
    out.reserve(text.size() + ours.size());
    bool placed = false;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype end = text.indexOf('\n', at);
        end = end < 0 ? text.size() : end + 1;
        const QByteArrayView line = QByteArrayView(text).sliced(at, end - at);
        const QString decoded = QString::fromUtf8(line).trimmed();
        const QStringView file = listedFile(decoded);
        if (!file.isEmpty() && isOurBouquetFile(file, prefix)) {
            if (!placed)
                out += ours;
            placed = true;
        } else {
            out += line;
        }
        at = end;
    }
    if (!placed) {
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += lineEnd;
        out += ours;
    }
    return out;
}

QStringList staleBouquetFiles(const QStringList& names, QStringView prefix,
                              const QStringList& written) {
    QStringList stale;
    for (const QString& name : names)
        if (isOurBouquetFile(name, prefix) && !written.contains(name))
            stale.append(name);
    return stale;
}

} // namespace dorvane
