#pragma once

#include <QString>
#include <QStringList>

namespace dorvane {

class TForm8;

// Starts the desktop program and runs it until its window closes.
int runApplication(int argc, char** argv);

// How the window's process uses memory (keepFreedMemory); called first thing
// by runApplication, and by the window's benchmarks.
void keepWindowMemory();

// What the command line asks of the desktop program: `dorvane [FILE]`, or
// `--help` / `--version`, which are answered wherever they stand (before a
// "--"), so that Qt's own options around them do not matter.
struct StartArguments {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    QString file;  // Run: the playlist to open at start, if any
    QString error; // UsageError: what is wrong
};
StartArguments parseStartArguments(const QStringList& arguments);

// Opens the command line's playlist in the window as Open does once its
// dialog is accepted, or, for an address, as Open URL does (a file://
// address is its file); a failure shows the error box.
void openStartFile(TForm8& form, const QString& fileName);

// Why the window could not be shown on the platform Qt would load, judged
// from the -platform argument (if any) and the environment, before Qt is
// asked: "DISPLAY is not set". Empty when a display may be there; for the
// platforms that need none (offscreen, vnc, ...) always.
struct DisplayEnvironment {
    QString platformArgument; // -platform's value, or empty
    QString qpaPlatform;      // QT_QPA_PLATFORM
    QString display;          // DISPLAY
    QString waylandDisplay;   // WAYLAND_DISPLAY
    QString runtimeDir;       // XDG_RUNTIME_DIR, where Wayland's default socket is
};
QString missingDisplay(const DisplayEnvironment& environment);
// The environment of this process, and the -platform among the arguments.
DisplayEnvironment displayEnvironment(const QStringList& arguments);

} // namespace dorvane
