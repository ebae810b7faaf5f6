#include "app/Application.h"

#include "playlist/FileName.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/WebAddress.h"

#include "app/Form8.h"
#include "app/Guard.h"
#include "app/QtClipboardPort.h"
#include "app/SystemProxy.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

#ifndef DORVANE_VERSION
#define DORVANE_VERSION "unknown"
#endif

namespace dorvane {

namespace {

// Free memory the window keeps for its next runs and playlists
// (keepFreedMemory): more than a run on a big playlist frees.
constexpr qsizetype kKeptFreeMemory = qsizetype(256) << 20;

constexpr char kHelp[] =
    "Usage: dorvane [FILE | ADDRESS]\n"
    "       dorvane --help | --version\n"
    "\n"
    "Opens the window of Dorvane, which converts M3U playlists into the channel\n"
    "lists of set-top boxes and players. With FILE, that playlist is opened at\n"
    "start, as File > Open opens it; with an http:// or https:// ADDRESS, as\n"
    "File > Open URL opens it. A file:// ADDRESS is that file.\n"
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
    guarded([&] {
        // "scheme://": an address; a file name rarely looks like one.
        if (!looksLikeAddress(fileName))
            form.loadPlaylistFile(fileName);
        else if (const QString file = fileOfAddress(fileName); !file.isEmpty())
            form.loadPlaylistFile(file);
        else
            form.openAddress(parseWebAddress(fileName));
    });
}

QString missingDisplay(const DisplayEnvironment& environment) {
    const QString& chosen = !environment.platformArgument.isEmpty() ? environment.platformArgument
                                                                    : environment.qpaPlatform;
    const bool x11 = !environment.display.isEmpty();
    const bool wayland = !environment.waylandDisplay.isEmpty() ||
                         (!environment.runtimeDir.isEmpty() &&
                          QFileInfo::exists(environment.runtimeDir + QStringLiteral("/wayland-0")));
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    // The default platform there is the system's own, always at hand.
    if (chosen.isEmpty())
        return {};
#endif
    // Qt's default here is X11's; a Wayland session offers Wayland as well.
    if (chosen.isEmpty())
        return x11 || wayland ? QString()
                              : QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
    // "wayland;xcb": the first that starts; "xcb:option=value": its name.
    QStringList missing;
    for (const QString& entry : chosen.split(u';', Qt::SkipEmptyParts)) {
        const QString name = entry.section(u':', 0, 0).trimmed();
        if (name == u"xcb") {
            if (x11)
                return {};
            missing << QStringLiteral("DISPLAY is not set");
        } else if (name.startsWith(u"wayland")) {
            if (wayland)
                return {};
            missing << QStringLiteral("WAYLAND_DISPLAY is not set");
        } else {
            return {}; // offscreen, vnc, eglfs and their like need no display server
        }
    }
    return missing.join(QStringLiteral(", "));
}

DisplayEnvironment displayEnvironment(const QStringList& arguments) {
    DisplayEnvironment environment;
    for (qsizetype k = 0; k < arguments.size(); ++k) {
        const QString& arg = arguments[k];
        if ((arg == u"-platform" || arg == u"--platform") && k + 1 < arguments.size())
            environment.platformArgument = arguments[++k];
    }
    environment.qpaPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    environment.display = qEnvironmentVariable("DISPLAY");
    environment.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    environment.runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return environment;
}

namespace {

// Qt's messages while the application object starts: held back, and shown
// once it has started. A platform that cannot start ends the program with a
// fatal message; the one line said instead names what Qt said last.
struct StartMessages {
    QtMessageHandler previous = nullptr;
    struct Message {
        QtMsgType type;
        QByteArray category;
        QString text;
    };
    QList<Message> held;
};

StartMessages& startMessages() {
    static StartMessages messages;
    return messages;
}

void sayCannotConnect(const QString& reason) {
    print(stderr, QStringLiteral("dorvane: cannot connect to the display: %1\n").arg(reason));
}

void holdStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    StartMessages& messages = startMessages();
    if (type != QtFatalMsg) {
        messages.held.append({type, QByteArray(context.category), text});
        return;
    }
    // What the platform plugin said before giving up says why, better than
    // the fatal message's advice to reinstall.
    QString reason = text.section(u'\n', 0, 0);
    for (auto at = messages.held.crbegin(); at != messages.held.crend(); ++at)
        if (at->category.startsWith("qt.qpa")) {
            reason = at->text;
            break;
        }
    sayCannotConnect(reason);
    // Qt would abort after this handler; the status tells a script why.
    std::_Exit(1);
}

void showStartMessages() {
    StartMessages& messages = startMessages();
    qInstallMessageHandler(messages.previous);
    for (const auto& message : std::as_const(messages.held)) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        qt_message_output(message.type, context, message.text);
    }
    messages.held.clear();
}

} // namespace

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

    if (const QString missing = missingDisplay(displayEnvironment(raw)); !missing.isEmpty()) {
        sayCannotConnect(missing);
        return 1;
    }

    keepWindowMemory();
    startMessages().previous = qInstallMessageHandler(holdStartMessage);
    QApplication app(argc, argv);
    showStartMessages();
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
    useSystemProxies();

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
