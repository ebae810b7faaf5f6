#pragma once

#include "receiver/Bouquets.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace dorvane {

// A bouquet set saved into a folder of this computer (one bouquet per group
// and their index), as sendBouquets leaves it in a receiver's folder, for a
// receiver's folder copied by hand or mounted.

struct FolderSaveReport {
    int files = 0;        // bouquets written
    QStringList deleted;  // our files no longer written, deleted
    QStringList warnings; // what went wrong once the index was in place
};

// Writes the bouquets into `folder` (made when missing; its parent must be
// there),
// then the index: the folder's bouquets.tv merged with ours
// (mergedBouquetIndex) exactly as a receiver's is; then deletes our files
// no longer written (staleBouquetFiles). Each file is written beside its
// name and renamed over it once complete, as Save writes. Nothing but our
// PREFIX files and the index is written or deleted. A failure up to the
// index's rename throws (EFOpenError, EFCreateError or EWriteError, naming
// the file) and leaves the folder's index as it was; a file of ours that
// cannot be deleted afterwards is a warning.
FolderSaveReport saveBouquetsToFolder(const std::vector<Bouquet>& bouquets, const QString& folder,
                                      QStringView prefix);

} // namespace dorvane
