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
};

struct ChannelRename {
    ChannelKey channel;
    QString name; // empty: the channel keeps its name
};

struct GroupRename {
    QString group;
    QString name; // empty: the group keeps its name
};

enum class RecipeSort {
    Source, // the playlist's order, but for the orders given
    Name,   // by name, locale-aware and case-insensitive, but for the orders given
};

struct Recipe {
    RecipeSource source;

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
    int codePage = 0; // 0: none given
    QString output;   // empty: none given

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

// What applying a recipe gives: the chosen, edited playlist, and how many of
// the channels and groups the recipe names the playlist no longer has
// (they are skipped).
struct AppliedRecipe {
    TStringList lines;
    int missingChannels = 0;
    int missingGroups = 0;
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

// How the chosen channels changed from one run of a recipe to the next: the
// channels of `after` whose key names no channel of `before` are new, those
// of `before` whose key names none of `after` are gone. Each playlist's keys
// are its own (ChannelKeys).
struct ChannelChanges {
    int added = 0;
    int gone = 0;
};
ChannelChanges compareChannels(const TStringList& before, const TStringList& after);

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
