#pragma once

// Runs the built dorvane-convert, as the golden-file and command-line tests do.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct ConvertRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// A file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QString convertProgram() {
    return QStringLiteral(DORVANE_BINARY_DIR "/cli/dorvane-convert");
}

// `program` in place of dorvane-convert: a shell that runs it, say.
inline ConvertRun
runConvert(const QStringList& arguments, const QByteArray& input = {},
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
           const QString& program = convertProgram()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ConvertRun run;
    if (!process.waitForStarted(30000)) {
        run.err = "could not start " + program.toUtf8();
        return run;
    }
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}
