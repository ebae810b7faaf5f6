#include "cli/SendModule.h"

#include "playlist/Errors.h"

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
    SendBouquetsFunction function = nullptr;
    QString failure; // why not, when function is null
};

Loaded load() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    QStringList tried;
    for (const QString& dir :
         {programDir.path(), programDir.filePath(QStringLiteral(DORVANE_MODULE_DIR_FROM_BIN))}) {
        // Never unloaded: the function is used until the end.
        QLibrary library(QDir(dir).filePath(QStringLiteral("dorvane-send")));
        using Entry = SendBouquetsFunction (*)();
        if (const auto entry = reinterpret_cast<Entry>(library.resolve(kSendEntryName)))
            return {entry(), {}};
        tried << library.errorString();
    }
    return {nullptr, QStringLiteral("The sending module could not be loaded: %1")
                         .arg(tried.join(QStringLiteral("; ")))};
}

} // namespace

SendReport sendBouquetsFromModule(const std::vector<Bouquet>& bouquets, const SendPlan& plan) {
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (!loaded.function)
        throw EWriteError(
            QStringLiteral("%1. The receiver keeps its old lists").arg(loaded.failure));
    return loaded.function(bouquets, plan);
}

} // namespace dorvane
