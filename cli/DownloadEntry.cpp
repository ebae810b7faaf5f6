// The functions the download module exports (cli/DownloadModule).

#include "cli/DownloadModule.h"

extern "C" Q_DECL_EXPORT dorvane::DownloadWholeFunction dorvaneDownloadWhole() {
    return &dorvane::downloadWhole;
}

extern "C" Q_DECL_EXPORT dorvane::DownloadIntoFunction dorvaneDownloadInto() {
    return &dorvane::downloadInto;
}
