#pragma once

#include <QString>

#include <initializer_list>
#include <vector>

namespace dorvane {

// A module dorvane-convert loads only when a run needs it (the downloads, the
// sending): libcurl and the libraries it brings stay out of every other
// run's start. It is looked for beside the program (a build tree, Windows),
// then in the installed module folder found from the program's own. A
// QCoreApplication must exist.
struct LoadedModule {
    // Each entry named, in order, as the module exports it; empty when the
    // module or one of its entries cannot be found.
    std::vector<void*> entries;
    QString failure; // why not, when `entries` is empty
};

// Loads `name` and resolves each of `entryNames`; the library is never
// unloaded, as its functions are used until the end. `what` names the module
// in the failure ("The download module could not be loaded: ...").
LoadedModule loadModule(const QString& name, std::initializer_list<const char*> entryNames,
                        const QString& what);

} // namespace dorvane
