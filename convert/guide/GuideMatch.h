#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace dorvane::guide {

// A channel's name as the guide's names are compared with it: decomposed
// (NFKD), its marks removed, case folded, a leading country prefix ("UK:",
// "DE |") and the words hd, fhd, uhd, 4k and sd removed, then only its
// letters and digits kept. "UK: BBC One HD" and "bbc one" are both "bbcone".
QString normalisedName(QStringView name);

// What a channel of the list brings to the matching.
struct MatchInput {
    QString tvgId;
    QString name;
    QString handId; // set by hand: wins over every rule; empty: none
};

struct Match {
    enum class Kind { None, Matched, Ambiguous };
    Kind kind = Kind::None;
    int channel = -1;      // Matched: the guide's channel (its number in GuideChannels)
    int other = -1;        // Ambiguous: the second candidate (channel is the first)
    const char* rule = ""; // "hand", "id", "id-case", "name"
};

// The channels of one guide, by their ids and names, for the matching. The
// first <channel> of an id stands for it: a later one of the same id is the
// same channel.
class GuideChannels {
public:
    // The channel's number; an id seen before gives that one's.
    int add(const QString& id, const std::vector<QString>& displayNames);
    int count() const { return int(m_ids.size()); }
    const QString& id(int channel) const { return m_ids[size_t(channel)]; }
    // Whether `id` is known, and its number.
    int find(const QString& id) const { return m_byId.value(id, -1); }

    // A channel of the list's match in this guide, by the first rule that
    // finds any candidate: the id set by hand (exactly, then in any case);
    // the tvg-id exactly; the tvg-id in any case; the normalised name against
    // the normalised display names. Two candidates by that rule: ambiguous.
    Match match(const MatchInput& channel) const;

private:
    Match byFolded(const QString& id, const char* rule) const;

    std::vector<QString> m_ids;
    QHash<QString, int> m_byId;
    QHash<QString, std::vector<int>> m_byFoldedId;
    QHash<QString, std::vector<int>> m_byName;
};

} // namespace dorvane::guide
