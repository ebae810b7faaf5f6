#include "app/Application.h"

#include "playlist/FileName.h"
#include "playlist/MemoryAdvice.h"

#include "app/Form8.h"
#include "app/Guard.h"
#include "app/QtClipboardPort.h"

#include <QApplication>

#include <cstdio>

#ifndef DORVANE_VERSION
#define DORVANE_VERSION "unknown"
#endif

namespace dorvane {

namespace {

// Free memory the window keeps for its next runs and playlists
// (keepFreedMemory): more than a run on a big playlist frees.
constexpr qsizetype kKeptFreeMemory = qsizetype(256) << 20;

constexpr char kHelp[] =
    "Usage: dorvane [FILE]\n"
    "       dorvane --help | --version\n"
    "\n"
    "Opens the window of Dorvane, which converts M3U playlists into the channel\n"
    "lists of set-top boxes and players. With FILE, that playlist is opened at\n"
    "start, as File > Open opens it.\n"
    "\n"
    "  -h, --help  show this text\n"
    "  --version   show the version\n"
    "\n"
    "Qt's own options, such as -platform or -style, are taken as well. For\n"
    "conversions without the window see dorvane-convert(1).\n";

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

StartArguments parseStartArguments(const QStringList& arguments) {
    StartArguments start;
    for (const QString& arg : arguments) {
        if (arg == u"--")
            break;
        if (arg == u"--help" || arg == u"-h")
            return {StartArguments::Action::Help, {}, {}};
        if (arg == u"--version")
            return {StartArguments::Action::Version, {}, {}};
    }
    bool optionsEnded = false;
    for (const QString& arg : arguments) {
        if (!optionsEnded && arg == u"--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.startsWith(u'-') && arg != u"-") {
            return {StartArguments::Action::UsageError,
                    {},
                    QStringLiteral("unknown option \"%1\"").arg(arg)};
        } else if (!start.file.isEmpty()) {
            return {StartArguments::Action::UsageError,
                    {},
                    QStringLiteral("only one FILE may be given")};
        } else if (arg.isEmpty()) {
            return {StartArguments::Action::UsageError, {}, QStringLiteral("FILE is empty")};
        } else {
            start.file = arg;
        }
    }
    return start;
}

void openStartFile(TForm8& form, const QString& fileName) {
    guarded([&] { form.loadPlaylistFile(fileName); });
}

void keepWindowMemory() {
    keepFreedMemory(kKeptFreeMemory);
}

int runApplication(int argc, char** argv) {
    // Help and version are answered before the application object exists:
    // it would connect to a display, and these need none.
    QStringList raw;
    for (int k = 1; k < argc; ++k)
        raw << decodeFileName(argv[k]);
    switch (parseStartArguments(raw).action) {
    case StartArguments::Action::Help:
        print(stdout, QString::fromLatin1(kHelp));
        return 0;
    case StartArguments::Action::Version:
        print(stdout, QStringLiteral("dorvane " DORVANE_VERSION "\n"));
        return 0;
    default:
        break;
    }

    keepWindowMemory();
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv by now. The arguments are
    // decoded as file names are, so that a name that is not UTF-8 keeps its
    // bytes (QCoreApplication::arguments would not).
    QStringList arguments;
    for (int k = 1; k < argc; ++k)
        arguments << decodeFileName(argv[k]);
    const StartArguments start = parseStartArguments(arguments);
    if (start.action == StartArguments::Action::UsageError) {
        print(stderr, QStringLiteral("dorvane: %1 (see \"dorvane --help\")\n").arg(start.error));
        return 2;
    }

    QtClipboardPort clipboard;
    setClipboardPort(&clipboard);

    int result = 0;
    {
        TForm8 form;
        form.show();
        // Once the window is up, so that an error box stands over it.
        if (!start.file.isEmpty())
            QMetaObject::invokeMethod(
                &form, [&form, file = start.file] { openStartFile(form, file); },
                Qt::QueuedConnection);
        result = app.exec();
    }
    setClipboardPort(nullptr);
    return result;
}

} // namespace dorvane
