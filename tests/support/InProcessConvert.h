#pragma once

// dorvane-convert run inside a test's own process, as its main() runs it.
#include "cli/ConvertCommand.h"

#include <QStringList>
#include <QtGlobal>

#include <vector>

namespace dorvane::testing {

// Runs dorvane-convert with the arguments (the program's name first) and
// gives its exit status. It installs its own handler for Qt's messages; the
// test's is put back afterwards.
inline int runConvertInProcess(const QStringList& arguments) {
    std::vector<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QtMessageHandler handler = qInstallMessageHandler(nullptr);
    const int status = runConvertCommand(int(argv.size()) - 1, argv.data());
    qInstallMessageHandler(handler);
    return status;
}

} // namespace dorvane::testing
