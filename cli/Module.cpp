#include "cli/Module.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QStringList>

#ifndef DORVANE_MODULE_DIR_FROM_BIN
#define DORVANE_MODULE_DIR_FROM_BIN "../lib/dorvane/modules"
#endif

namespace dorvane {

LoadedModule loadModule(const QString& name, std::initializer_list<const char*> entryNames,
                        const QString& what) {
    const QDir programDir(QCoreApplication::applicationDirPath());
    QStringList tried;
    for (const QString& dir :
         {programDir.path(), programDir.filePath(QStringLiteral(DORVANE_MODULE_DIR_FROM_BIN))}) {
        QLibrary library(QDir(dir).filePath(name));
        LoadedModule loaded;
        for (const char* entryName : entryNames) {
            const QFunctionPointer entry = library.resolve(entryName);
            if (!entry)
                break;
            loaded.entries.push_back(reinterpret_cast<void*>(entry));
        }
        if (loaded.entries.size() == entryNames.size())
            return loaded;
        tried << library.errorString();
    }
    return {{},
            QStringLiteral("The %1 module could not be loaded: %2")
                .arg(what, tried.join(QStringLiteral("; ")))};
}

} // namespace dorvane
