#pragma once

#include "convert/Recipe.h"
#include "convert/SourceName.h"
#include "convert/TargetOptions.h"
#include "playlist/StringList.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

namespace dorvane {

// The bouquets a receiver is sent, and the index (bouquets.tv) that lists
// them. Our files are userbouquet.PREFIX.tv (all the channels in one) or
// userbouquet.PREFIX_SLUG.tv (one a group); every other file of the
// receiver's is the user's and is left alone.

inline constexpr char16_t kDefaultBouquetPrefix[] = u"dorvane";
inline const QString kBouquetIndex = QStringLiteral("bouquets.tv");

// A prefix is [a-z0-9_]+.
bool isBouquetPrefix(QStringView prefix);

// The group's name as a file name's part: ASCII letters (in lower case),
// digits and '_' kept, blanks and punctuation made '_', anything else
// dropped, runs of '_' made one and none at either end, at most 40
// characters; "group" when nothing is left.
QString slugOf(QStringView group);

// "userbouquet.PREFIX.tv", or with a slug "userbouquet.PREFIX_SLUG.tv".
QString bouquetFileName(QStringView prefix, QStringView slug = {});

// Whether a file of the receiver's is one of ours: one of the names above.
bool isOurBouquetFile(QStringView file, QStringView prefix);

struct Bouquet {
    QString file;
    QString name; // its #NAME: the group's, or the playlist's
    QByteArray bytes;
    int channels = 0;
};

// The bouquets of a chosen, edited playlist, written by the Enigma2 target:
// with `perGroup` one a group with channels, in the list's order (the
// channels without a group in one named after the playlist, slug
// "nogroup"), else one for all, named after the playlist. `renames` (the
// recipe's) tell a renamed group's own name, by which `slugs` knows it:
// a group keeps the slug it has there; a new one gets slugOf its name, with
// "_2", "_3", ... when that is taken, and is added. `options` are the
// target's as a saved bouquet has them: the service type for all, the
// bouquet's name for the one for all only (a group's is the group's).
std::vector<Bouquet> makeBouquets(const TStringList& lines, const SourceName& name,
                                  QStringView prefix, bool perGroup,
                                  const std::vector<GroupRename>& renames,
                                  std::vector<GroupSlug>& slugs, const TargetOptions& options = {});

// The receiver's index with our bouquets `files` listed, in that order:
// every line that does not name one of our files kept byte for byte where
// it stands; ours where the first of our old ones stood, else at the end.
// Without an index (nothing), a new one with "#NAME User - bouquets (TV)".
QByteArray mergedBouquetIndex(const std::optional<QByteArray>& index, QStringView prefix,
                              const QStringList& files);

// Of a folder's file `names`, our files that are not among those just
// `written`: no longer listed by the index, they are deleted once it is in
// place.
QStringList staleBouquetFiles(const QStringList& names, QStringView prefix,
                              const QStringList& written);

} // namespace dorvane
