#pragma once

#include "playlist/Download.h"

#include <QByteArray>
#include <QUrl>

#include <functional>

namespace dorvane {

// downloadWhole, from the module that holds the downloads and libcurl
// (dorvane-download). Most runs read a file; loading libcurl and what it
// brings (TLS, HTTP/2, SSH, LDAP, Kerberos) at every start would cost a good
// part of the start, so it is loaded on the first download only. The module
// is looked for beside the program (a build tree, Windows) and then in the
// installed library folder. A QCoreApplication must exist. EFOpenError when
// the module cannot be loaded, as when the download fails.
QByteArray
downloadWholeFromModule(const QUrl& url, const DownloadLimits& limits,
                        const std::function<void(qint64 received, qint64 total)>& progress = {});

// downloadInto, from the same module.
void downloadIntoFromModule(
    const QUrl& url, const DownloadLimits& limits, BodySink& sink,
    const std::function<void(qint64 received, qint64 total)>& progress = {});

// What the module exports: its downloadWhole and downloadInto.
using DownloadWholeFunction = QByteArray (*)(const QUrl&, const DownloadLimits&,
                                             const std::function<void(qint64, qint64)>&);
using DownloadIntoFunction = void (*)(const QUrl&, const DownloadLimits&, BodySink&,
                                      const std::function<void(qint64, qint64)>&);
// The names of the module's exported functions, which return them.
inline constexpr char kDownloadEntryName[] = "dorvaneDownloadWhole";
inline constexpr char kDownloadIntoEntryName[] = "dorvaneDownloadInto";

} // namespace dorvane
