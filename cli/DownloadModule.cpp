#include "cli/DownloadModule.h"

#include "playlist/Errors.h"
#include "playlist/WebAddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QStringList>

#include <mutex>

#ifndef DORVANE_MODULE_DIR_FROM_BIN
#define DORVANE_MODULE_DIR_FROM_BIN "../lib/dorvane/modules"
#endif

namespace dorvane {

namespace {

struct Loaded {
    DownloadWholeFunction function = nullptr;
    DownloadIntoFunction into = nullptr;
    QString failure; // why not, when function is null
};

Loaded load() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    QStringList tried;
    for (const QString& dir :
         {programDir.path(), programDir.filePath(QStringLiteral(DORVANE_MODULE_DIR_FROM_BIN))}) {
        // The library is never unloaded: the function is used until the end.
        QLibrary library(QDir(dir).filePath(QStringLiteral("dorvane-download")));
        using Entry = DownloadWholeFunction (*)();
        using IntoEntry = DownloadIntoFunction (*)();
        const auto entry = reinterpret_cast<Entry>(library.resolve(kDownloadEntryName));
        const auto into = reinterpret_cast<IntoEntry>(library.resolve(kDownloadIntoEntryName));
        if (entry && into)
            return {entry(), into(), {}};
        tried << library.errorString();
    }
    return {nullptr, nullptr,
            QStringLiteral("The download module could not be loaded: %1")
                .arg(tried.join(QStringLiteral("; ")))};
}

const Loaded& loaded() {
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    return loaded;
}

} // namespace

QByteArray downloadWholeFromModule(const QUrl& url, const DownloadLimits& limits,
                                   const std::function<void(qint64, qint64)>& progress) {
    const Loaded& module = loaded();
    if (!module.function)
        throw EFOpenError(cannotOpenUrlText(url, module.failure));
    return module.function(url, limits, progress);
}

void downloadIntoFromModule(const QUrl& url, const DownloadLimits& limits, BodySink& sink,
                            const std::function<void(qint64, qint64)>& progress) {
    const Loaded& module = loaded();
    if (!module.into)
        throw EFOpenError(cannotOpenUrlText(url, module.failure));
    module.into(url, limits, sink, progress);
}

} // namespace dorvane
