#include "cli/DownloadModule.h"

#include "cli/Module.h"
#include "playlist/Errors.h"
#include "playlist/WebAddress.h"

#include <mutex>

namespace dorvane {

namespace {

struct Loaded {
    DownloadWholeFunction function = nullptr;
    DownloadIntoFunction into = nullptr;
    QString failure; // why not, when function is null
};

Loaded load() {
    // The entries return the functions.
    using Entry = DownloadWholeFunction (*)();
    using IntoEntry = DownloadIntoFunction (*)();
    const LoadedModule module =
        loadModule(QStringLiteral("dorvane-download"), {kDownloadEntryName, kDownloadIntoEntryName},
                   QStringLiteral("download"));
    if (module.entries.empty())
        return {nullptr, nullptr, module.failure};
    return {reinterpret_cast<Entry>(module.entries[0])(),
            reinterpret_cast<IntoEntry>(module.entries[1])(),
            {}};
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
