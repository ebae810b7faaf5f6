#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

#include <memory>

namespace dorvane {

// Writes all of `bytes` to `fd`, in slices; `failure` begins the message of
// a failure (EWriteError), to which ". " and the system's reason are added.
void writeAll(int fd, QByteArrayView bytes, const QString& failure);

// Throws EWriteError when standard output is closed. Called before any file
// is opened: one opened later would take its number, and whatever was meant
// for standard output would go into that file (the input, or the spool).
void checkStandardOutput();

// Writes an output made whole into -o FILE, or standard output when
// `fileName` is empty. A regular FILE is replaced only once every byte is
// written; a device or a FIFO is written into as it is. With `ownerOnly`, a
// FILE made is readable by its owner only.
void writeOutput(const QString& fileName, const QByteArray& bytes, bool ownerOnly = false);

// Where dorvane-convert's output goes while it is made, so that a big
// playlist's output is never held whole in memory:
// - standard output, when the shell points it at a regular file;
// - -o FILE, a regular file or none yet: a file beside it, renamed over it
//   once complete;
// - standard output or -o FILE otherwise (a pipe, a terminal, a device, a
//   FIFO): a spool, an unnamed temporary file, copied there by commit().
// Until commit() everything written can be taken back, so that a run that
// fails, or finds nothing to write, leaves nothing behind: restart() cuts
// the file back to where it began, and so does the destructor (or it
// removes the file beside).
class StreamedOutput {
public:
    // For -o FILE, or standard output when `fileName` is empty; null when
    // no temporary file can be made for a spool. `inputFd`, the input's
    // descriptor when it has one, is never written into while it is read.
    static std::unique_ptr<StreamedOutput> open(const QString& fileName, int inputFd = -1);

    ~StreamedOutput();
    StreamedOutput(const StreamedOutput&) = delete;
    StreamedOutput& operator=(const StreamedOutput&) = delete;

    // Throws SpoolFailed when the spool cannot take the bytes (its disk is
    // full): the output then has to be made another way.
    void write(QByteArrayView bytes);
    // Takes back every byte written.
    void restart();
    // -o's FILE, made anew, readable by its owner only: its addresses hold
    // a password. Before the first write.
    void setOwnerOnly() { m_ownerOnly = true; }
    // Keeps what was written: -o's file takes the place of FILE; a spool is
    // copied to its destination.
    void commit();

    struct SpoolFailed {};

private:
    enum class Kind { StandardOutputFile, NamedFile, Spool };

    explicit StreamedOutput(Kind kind) : m_kind(kind) {}
    void openBeside();
    void restrictBeside() const;
    void cutBack() const;
    void copySpool() const;
    QString failure() const;

    const Kind m_kind;
    QString m_fileName;                    // -o's; empty for standard output
    QByteArray m_path;                     // -o's, as the system spells it
    std::unique_ptr<QSaveFile> m_saveFile; // beside -o's FILE, when Qt can spell it
    QByteArray m_temporary;                // beside -o's FILE, when not
    int m_fd = -1;
    qint64 m_start = 0; // standard output: where it stood
    bool m_wrote = false;
    bool m_committed = false;
    bool m_ownerOnly = false;
};

} // namespace dorvane
