#include "cli/SendModule.h"

#include "cli/Module.h"
#include "playlist/Errors.h"

#include <mutex>

namespace dorvane {

namespace {

struct Loaded {
    SendBouquetsFunction function = nullptr;
    QString failure; // why not, when function is null
};

Loaded load() {
    using Entry = SendBouquetsFunction (*)(); // returns the function
    const LoadedModule module =
        loadModule(QStringLiteral("dorvane-send"), {kSendEntryName}, QStringLiteral("sending"));
    if (module.entries.empty())
        return {nullptr, module.failure};
    return {reinterpret_cast<Entry>(module.entries[0])(), {}};
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
