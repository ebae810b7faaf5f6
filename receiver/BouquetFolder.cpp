#include "receiver/BouquetFolder.h"

#include "playlist/Errors.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>

namespace dorvane {

namespace {

// The folder, made when missing; not its parent, which a mistyped name would
// otherwise make unnoticed. EFCreateError when it cannot be.
void makeFolder(const QString& folder) {
    const QString failure =
        QStringLiteral("Cannot create folder \"%1\"").arg(expandFileName(folder));
    const QFileInfo info(folder);
    if (info.isDir())
        return;
    if (info.exists())
        throw EFCreateError(QStringLiteral("%1. %2").arg(failure, sysErrorMessage(EEXIST)));
    if (!QFileInfo(info.absolutePath()).isDir())
        throw EFCreateError(QStringLiteral("%1. %2").arg(failure, sysErrorMessage(ENOENT)));
    if (!QDir().mkdir(folder))
        throw EFCreateError(failure);
}

// saveBytesToFile, whose write errors name no file: said with the file.
void saveFile(const QString& path, const QByteArray& bytes) {
    try {
        saveBytesToFile(path, bytes);
    } catch (const EWriteError& error) {
        throw EWriteError(cannotWriteMessage(path, error.Message()));
    }
}

} // namespace

FolderSaveReport saveBouquetsToFolder(const std::vector<Bouquet>& bouquets, const QString& folder,
                                      QStringView prefix) {
    makeFolder(folder);
    const QDir dir(folder);
    // Every kind of entry: a link named as ours is ours too.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    const QString indexPath = dir.filePath(kBouquetIndex);
    std::optional<QByteArray> index;
    if (QFileInfo(indexPath).exists() || QFileInfo(indexPath).isSymLink())
        index = readWholeFile(indexPath);

    FolderSaveReport report;
    QStringList files;
    for (const Bouquet& bouquet : bouquets) {
        saveFile(dir.filePath(bouquet.file), bouquet.bytes);
        files.append(bouquet.file);
        ++report.files;
    }
    saveFile(indexPath, mergedBouquetIndex(index, prefix, files));

    for (const QString& name : staleBouquetFiles(names, prefix, files)) {
        if (QFile::remove(dir.filePath(name)))
            report.deleted.append(name);
        else
            report.warnings.append(QStringLiteral("Cannot delete file \"%1\"")
                                       .arg(expandFileName(dir.filePath(name))));
    }
    return report;
}

} // namespace dorvane
