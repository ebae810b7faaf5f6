#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace dorvane {

// An open or save dialog that keeps its settings between uses, as the window's
// sOpenDialog1 and SaveDialog1 do: the file name chosen last is proposed the
// next time. Tests answer the dialogs in advance, so none ever opens under a
// test.
class FileDialog : public QObject {
    Q_OBJECT

public:
    // Folder: a folder is chosen (fileName() is its path), for Save of a
    // set of files.
    enum class Mode { Open, Save, Folder };

    FileDialog(Mode mode, QObject* parent = nullptr);

    // Filters as "description|pattern;pattern", pairs joined by further "|":
    // "Playlist (*.m3u;*.m3u8)|*.m3u;*.m3u8".
    const QString& filter() const { return m_filter; }
    void setFilter(const QString& filter) { m_filter = filter; }

    // The name proposed when the dialog opens and, after it was accepted, the
    // full path chosen.
    const QString& fileName() const { return m_fileName; }
    void setFileName(const QString& fileName) { m_fileName = fileName; }

    // Shows the dialog modally; true when the user chose a file (or, for
    // Mode::Folder, a folder, proposed whole, started in as the others
    // start, and then the folder the next dialog starts in). No title
    // and no checks of the chosen name: a name that cannot be used fails
    // where it is used. The save dialog asks nothing about an existing file;
    // whoever writes it decides. Every dialog starts in the folder of the
    // file chosen last in either (startFolder), with the proposed name's
    // own folder dropped; before any choice, in the proposed name's folder.
    bool execute(QWidget* parent);

    // The folder the next dialog starts in: that of the file chosen last in
    // this run, or empty before any.
    static QString startFolder();

    struct Shown {
        Mode mode;
        QString filter;
        QString fileName; // the name proposed
        QString folder;   // the folder started in, or empty
    };

    // Tests: the name the next dialog returns, instead of opening; an empty
    // name cancels it.
    static void setNextFileName(const QString& fileName);
    // Tests: with no answer queued, a dialog opens nothing and is cancelled.
    static void setHeadless(bool headless);
    // Tests: every dialog answered through the seam so far, oldest first.
    static const QList<Shown>& shown();
    // Tests: forgets them, and the folder used last, as a new run would.
    static void clearShown();

    // The dialog's name filters for Qt: each description is shown unchanged,
    // and its patterns are what the files are matched with.
    static QStringList qtNameFilters(const QString& filter);

private:
    Mode m_mode;
    QString m_filter;
    QString m_fileName;
};

} // namespace dorvane
