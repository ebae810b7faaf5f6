#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <sys/types.h>

class QSaveFile;

namespace dorvane {

// Writes all of `bytes` to `fd`, in slices; `failure` begins the message of
// a failure (EWriteError), to which ". " and the system's reason are added.
void writeAll(int fd, QByteArrayView bytes, const QString& failure);

// A regular file that dorvane-convert's output goes into: the file -o names,
// through a file beside it that is renamed over it once complete, or standard
// output when the shell points it at a regular file. Bytes may be written as
// they are made; until commit() they can all be taken back, so that a run
// that fails, or finds nothing to write, leaves nothing behind: restart()
// cuts the file back to where it began, and so does the destructor (or it
// removes the file beside).
class StreamedOutput {
public:
    // Standard output, when it is a regular file; otherwise null.
    static std::unique_ptr<StreamedOutput> standardOutput();
    // -o FILE when FILE is a regular file or none yet; null for a device or
    // a FIFO, which are written into as they are. The file beside is made
    // by the first write.
    static std::unique_ptr<StreamedOutput> file(const QString& fileName);

    ~StreamedOutput();
    StreamedOutput(const StreamedOutput&) = delete;
    StreamedOutput& operator=(const StreamedOutput&) = delete;

    void write(QByteArrayView bytes);
    // Takes back every byte written.
    void restart();
    // Keeps what was written: -o's file takes the place of FILE.
    void commit();

private:
    StreamedOutput() = default;
    void open();
    void cutBack() const;

    QString m_fileName;                    // -o's; empty for standard output
    QByteArray m_path;                     // -o's, as the system spells it
    std::unique_ptr<QSaveFile> m_saveFile; // -o with a name Qt can spell
    QByteArray m_temporary;                // -o with any other name: the file beside
    int m_fd = -1;
    off_t m_start = 0; // standard output: where it stood
    bool m_wrote = false;
    bool m_committed = false;
};

} // namespace dorvane
