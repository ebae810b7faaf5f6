#pragma once

#include "convert/Choice.h"
#include "convert/guide/GuideSettings.h"
#include "playlist/StringList.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace dorvane {

// A recipe: where a playlist comes from, which of its channels are kept, how
// they are renamed and ordered, and how and where they are written. Saved
// once as a `.dorvane` file (UTF-8 JSON) and run again whenever the
// provider's playlist has changed; so channels and groups are named by what
// stays the same from one day's playlist to the next, never by position.

// How a recipe names a channel: by its tvg-id when the playlist gives it one
// that no other channel has, else by its group and name. The names are the
// playlist's own, before any renaming.
struct ChannelKey {
    QString id; // empty: the channel is named by group and name
    QString group;
    QString name;

    bool byId() const { return !id.isEmpty(); }
    friend bool operator==(const ChannelKey&, const ChannelKey&) = default;
};
size_t qHash(const ChannelKey& key, size_t seed = 0);

// Where the playlist comes from. Paths are absolute once read; a recipe
// file holds them relative to its folder when they lie in it.
struct RecipeSource {
    enum class Kind { File, Url, Provider };
    Kind kind = Kind::File;
    QString file; // Kind::File
    QString url;  // Kind::Url
    // Kind::Provider: the provider interface's server and login, and which
    // of its lists are read.
    QString server;
    QString user;
    QString password; // empty: not stored, to be asked for
    bool live = true;
    bool movies = false;
    // One of several sources that may fail: the others are read without it.
    bool optional = false;
};

struct ChannelRename {
    ChannelKey channel;
    QString name; // empty: the channel keeps its name
};

struct GroupRename {
    QString group;
    QString name; // empty: the group keeps its name
};

// The name part of a group's bouquet file, kept so that the file keeps its
// name when the group is renamed.
struct GroupSlug {
    QString group; // the playlist's own name
    QString slug;
};

// Where a recipe's lists are sent: a receiver's folder, with the user
// (ftp://USER@HOST[:PORT]/PATH/ or sftp://...).
struct RecipeReceiver {
    QString address;  // empty: not sent
    QString password; // empty: not stored, to be asked for
    QString prefix;   // empty: "dorvane"
    bool perGroup = false;
    std::vector<GroupSlug> slugs;
};

enum class RecipeSort {
    Source, // the playlist's order, but for the orders given
    Name,   // by name, locale-aware and case-insensitive, but for the orders given
};

struct Recipe {
    RecipeSource source;
    // Further sources ("sources": [...]): their channels follow those of
    // `source`, in this order, in one playlist.
    std::vector<RecipeSource> moreSources;

    // The choice: the filter as dorvane-convert's --group, --exclude-group,
    // --match and --dedupe choose; then channelsOff left out and
    // channelsOn kept, whatever the filter said.
    ChannelFilter filter;
    std::vector<ChannelKey> channelsOff;
    std::vector<ChannelKey> channelsOn;

    // The edits, all naming channels and groups by their original names.
    std::vector<ChannelRename> names;
    std::vector<GroupRename> groupNames;
    QStringList groupOrder;
    std::vector<ChannelKey> channelOrder;
    RecipeSort sort = RecipeSort::Source;

    QString target; // a target's command-line name; empty: none given
    bool ansi = false;
    int codePage = 0;    // 0: none given
    int enigma2Type = 0; // 0: none given (TargetOptions)
    QString bouquetName; // empty: none given
    QString output;      // empty: none given
    // Chosen groups and channels gone from the playlist are fine: the run
    // that writes without them succeeds ("gone": "accept").
    bool acceptGone = false;
    // Of the chosen channels with the same tvg-id, the first only
    // ("dedupe": "guide-id"; "address" is filter.onePerAddress).
    bool onePerGuideId = false;

    // `source`, then `moreSources`.
    std::vector<RecipeSource> sources() const;
    RecipeReceiver receiver;

    GuideSettings guide; // the programme guide: its sources, ids set by hand, shifts

    bool hasChoice() const {
        return !filter.choosesAll() || !channelsOff.empty() || !channelsOn.empty();
    }
    bool hasEdits() const {
        return !names.empty() || !groupNames.empty() || !groupOrder.isEmpty() ||
               !channelOrder.empty() || sort != RecipeSort::Source;
    }
    // Leaves every channel chosen: filter, channelsOff and channelsOn.
    void clearChoice();
};

// Reads a recipe file; relative paths in it are taken from its folder.
// EReadError, `Cannot read recipe "FILE". REASON`, when the file cannot be
// read, is not JSON (the reason says where: "line L, column C"), has a
// member that a recipe does not have, or a value of the wrong kind.
Recipe readRecipe(const QString& fileName);

// The same for the text of a recipe file, whose relative paths are taken
// from `folder`; the exception's message is the reason alone.
Recipe parseRecipe(const QByteArray& json, const QString& folder);

// The text of a recipe file in `folder`: the members in the documented
// order, the ones with nothing to say left out. A provider's password only
// when `storePassword`.
QByteArray recipeText(const Recipe& recipe, const QString& folder, bool storePassword);

// Writes a recipe file, replacing it only once it is complete; with
// `storePassword` (and a password to store), readable by its owner only.
// EFCreateError or EWriteError as saveBytesToFile.
void writeRecipe(const QString& fileName, const Recipe& recipe, bool storePassword);

// The keys of a playlist's channels (its blocks, ChannelIndex), for a
// recipe that is being made: a tvg-id names a channel only when it is unique
// in the playlist.
class ChannelKeys {
public:
    explicit ChannelKeys(const ChannelIndex& index);
    ChannelKey key(int block) const;

private:
    const ChannelIndex& m_index;
    std::vector<QStringView> m_ids; // empty where the tvg-id names nothing
};

// The tvg-id of a name line; empty when it has none.
QStringView tvgIdOf(QStringView nameLine);

// The playlists of several sources as one: the first whole, then the blocks
// of each further one, its header left out, copied into one text.
TStringList joinedPlaylists(const std::vector<TStringList>& playlists);

// What of a recipe names groups and channels that a playlist does not have
// (a provider renamed or dropped them). They stay in the recipe, so that
// they apply again when they come back.
struct RecipeGone {
    QStringList groups;               // every group the recipe names, absent
    std::vector<ChannelKey> channels; // every channel the recipe names, absent
    // Of those, the ones the recipe chose: missing from the list it writes.
    QStringList chosenGroups;
    std::vector<ChannelKey> chosenChannels;

    bool empty() const { return groups.isEmpty() && channels.empty(); }
    bool lost() const { return !chosenGroups.isEmpty() || !chosenChannels.empty(); }
};
RecipeGone goneFrom(const Recipe& recipe, ChannelIndex& index);

// A channel as a message names it: "NAME (GROUP)", "NAME", or "tvg-id ID".
QString channelKeyText(const ChannelKey& key);

// The first names of a longer list, one a line ("  NAME"), then "  and N
// more" for those left out: at most `shown` of `total`.
QString firstNamesText(const QStringList& names, int total, QStringView more, int shown = 20);

// The chosen groups and channels gone, by name: the groups' names, then the
// channels' (channelKeyText).
QStringList lostNames(const RecipeGone& gone);

// Puts back into `edited` (a recipe made from the playlist of `index`) what
// `former` says of the groups and channels `gone` names: their choice, their
// names, and their place in the orders, after the group or channel that
// preceded them in `former`.
void keepGone(Recipe& edited, const Recipe& former, const RecipeGone& gone, ChannelIndex& index);

// The recipe without what it says of the groups and channels `gone` names.
Recipe withoutGone(const Recipe& recipe, const RecipeGone& gone);

// What applying a recipe gives: the chosen, edited playlist, and the
// channels and groups the recipe names that the playlist no longer has
// (they are skipped).
struct AppliedRecipe {
    TStringList lines;
    int missingChannels = 0; // chosen ones: gone.chosenChannels
    int missingGroups = 0;   // gone.chosenGroups
    RecipeGone gone;
};

// Applies the recipe's choice and edits to a playlist: its header, then the
// chosen blocks. Without group or channel order and a sort by name they
// keep the playlist's order; with any of them they go group by group, the
// groups of groupOrder first, then the others in order of first appearance
// (by name with RecipeSort::Name), in each group the channels of
// channelOrder first, then the others in the playlist's order (or by name).
// Sorting by name takes the names as renamed. A renamed channel's name is
// replaced after its name line's comma, a renamed group's name where the
// group comes from: its group-title="...", or its #EXTGRP line. The
// playlist's text is shared, not copied (TStringList::linesIn).
AppliedRecipe applyRecipe(const Recipe& recipe, const TStringList& playlist);

// What a channel is from one reading of its playlist to the next, whatever
// its name or group: a provider's stream (its server, kind and stream id,
// from a .../live/USER/PASS/ID.ts or .../USER/PASS/ID address), else its
// address without the credentials it carries (user part, password query
// parameters) and without the "|" options players take after it.
QString channelIdentity(QStringView address);

// How the chosen channels changed from one run of a recipe to the next: the
// channels of `after` whose identity (channelIdentity of their address) no
// channel of `before` has are new, those of `before` whose identity none of
// `after` has are gone; a renamed or regrouped channel is neither. A block
// without an address is no channel. The window and dorvane-convert count
// with this alone.
struct ChannelChanges {
    int added = 0;
    int gone = 0;
    QStringList addedNames; // the first kChangeNames of the new, by name
    QStringList goneNames;  // and of the gone

    static constexpr int kChangeNames = 20;
    bool any() const { return added > 0 || gone > 0; }
};
ChannelChanges compareChannels(const TStringList& before, const TStringList& after);

// "new: N, gone: M".
QString changesText(const ChannelChanges& changes);

// Sorts items (groups or blocks) by the names `nameOf` gives, as a recipe's
// "sort": "name" does: locale-aware, case-insensitive, equal names kept in
// their order.
void sortItemsByName(std::vector<int>& items, const std::function<QString(int)>& nameOf);

// A choice and its edits made block by block over a playlist's index, as the
// window's Channels dialog makes them: the index's own numbers, valid for
// its lines only.
struct ChannelEdits {
    std::vector<int> groupOrder;                // every group, in order; empty: the index's
    std::vector<std::vector<int>> channelOrder; // each group's blocks; empty: the index's
    QHash<int, QString> names;                  // new names, by block
    QHash<int, QString> groupNames;             // new names, by group
    bool sortByName = false;                    // the order not given is by name
    bool takeNewGroups = false;                 // a later playlist's new groups are chosen
};

// The recipe of a choice (one flag per block, empty: all) and its edits,
// naming channels and groups as ChannelKeys does. Without takeNewGroups the
// groups with a chosen channel are listed, so that groups that appear later
// stay out; with it, the groups without one are excluded. Orders are given
// only where they differ from the playlist's (or the sort's), and then whole.
Recipe editedRecipe(const ChannelIndex& index, const std::vector<char>& chosen, bool onePerAddress,
                    const ChannelEdits& edits);

// The other way: what a recipe chooses and edits in the playlist of `index`,
// block by block. A dedupe is left to onePerAddress.
struct RecipeChoice {
    std::vector<char> chosen;
    bool onePerAddress = false;
    ChannelEdits edits;
};
RecipeChoice recipeChoice(const Recipe& recipe, ChannelIndex& index);

} // namespace dorvane
