#include "cli/StreamedOutput.h"

#include "playlist/Errors.h"
#include "playlist/FileName.h"
#include "playlist/Platform.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cerrno>

namespace dorvane {

namespace {

QString standardOutputFailure() {
    return QStringLiteral("Cannot write to standard output");
}

EReadError spoolReadError(int error) {
    return EReadError(
        QStringLiteral("Cannot read the temporary file. %1").arg(sysErrorMessage(error)));
}

QString fileFailure(const QString& fileName) {
    return QStringLiteral("Cannot write file \"%1\"").arg(expandFileName(fileName));
}

// Opens -o's device or FIFO for writing.
int openDevice(const QString& fileName) {
    const int fd = platform::openForWriting(encodeFileName(fileName));
    if (fd < 0)
        throw EFCreateError(cannotCreateMessage(fileName, errno));
    return fd;
}

void closeDevice(int fd, const QString& fileName) {
    if (!platform::closeFile(fd))
        throw EWriteError(cannotWriteMessage(fileName, errno));
}

// An unnamed file in the folder for temporary files, gone once closed; -1
// when none can be made.
int openSpool() {
    return platform::openAnonymousFile(QFile::encodeName(QDir::tempPath()));
}

} // namespace

void writeAll(int fd, QByteArrayView bytes, const QString& failure) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const long long written = platform::writeSome(fd, data, left);
        if (written < 0)
            throw EWriteError(QStringLiteral("%1. %2").arg(failure, sysErrorMessage(errno)));
        data += written;
        left -= written;
    }
}

void checkStandardOutput() {
    if (!platform::isOpen(platform::kStandardOutput))
        throw EWriteError(
            QStringLiteral("%1. %2").arg(standardOutputFailure(), sysErrorMessage(errno)));
}

void writeOutput(const QString& fileName, const QByteArray& bytes, bool ownerOnly) {
    if (fileName.isEmpty()) {
        platform::widenPipe(platform::kStandardOutput, bytes.size());
        writeAll(platform::kStandardOutput, bytes, standardOutputFailure());
        return;
    }
    if (!platform::isDeviceOrFifo(encodeFileName(fileName))) {
        const std::unique_ptr<StreamedOutput> out =
            StreamedOutput::open(fileName); // the file beside
        if (ownerOnly)
            out->setOwnerOnly();
        out->write(bytes);
        out->commit();
        return;
    }
    const int fd = openDevice(fileName);
    try {
        writeAll(fd, bytes, fileFailure(fileName));
    } catch (...) {
        platform::closeFile(fd);
        throw;
    }
    closeDevice(fd, fileName);
}

std::unique_ptr<StreamedOutput> StreamedOutput::open(const QString& fileName, int inputFd) {
    std::unique_ptr<StreamedOutput> out;
    if (fileName.isEmpty()) {
        // Appended to the input itself (>>), the output would make the input
        // grow while it is read: it goes through the spool then.
        const qint64 start = platform::regularFileOffset(platform::kStandardOutput, inputFd);
        if (start >= 0) {
            out.reset(new StreamedOutput(Kind::StandardOutputFile));
            out->m_fd = platform::kStandardOutput;
            out->m_start = start;
            return out;
        }
    } else if (!platform::isDeviceOrFifo(encodeFileName(fileName))) {
        out.reset(new StreamedOutput(Kind::NamedFile));
        out->m_fileName = fileName;
        out->m_path = platform::followLinks(encodeFileName(fileName));
        return out; // the file beside is made by the first write
    }
    const int spool = openSpool();
    if (spool < 0)
        return nullptr;
    out.reset(new StreamedOutput(Kind::Spool));
    out->m_fileName = fileName;
    out->m_fd = spool;
    return out;
}

// The file beside -o's FILE. Through QSaveFile, as the window saves, when Qt
// can spell the name and it is no link; otherwise (see decodeFileName) the
// same way by hand: a file beside the link's target, or FILE, with its
// permissions, renamed over it.
void StreamedOutput::openBeside() {
    if (QFile::encodeName(m_fileName) == m_path) {
        m_saveFile = openSaveFile(m_fileName);
        m_fd = m_saveFile->handle(); // written directly: QSaveFile buffers nothing then
        restrictBeside();
        return;
    }
    QByteArray temporary;
    const int fd = platform::createBeside(m_path, temporary);
    if (fd < 0)
        throw EFCreateError(cannotCreateMessage(m_fileName, errno));
    m_temporary = temporary;
    m_fd = fd;
}

void StreamedOutput::restrictBeside() const {
    if (m_ownerOnly && !platform::restrictToOwner(m_fd))
        throw EFCreateError(cannotCreateMessage(m_fileName, errno));
}

QString StreamedOutput::failure() const {
    return m_fileName.isEmpty() ? standardOutputFailure() : fileFailure(m_fileName);
}

void StreamedOutput::write(QByteArrayView bytes) {
    if (m_fd < 0) {
        openBeside();
        if (!m_temporary.isEmpty())
            restrictBeside();
    }
    m_wrote = true;
    if (m_kind != Kind::Spool) {
        writeAll(m_fd, bytes, failure());
        return;
    }
    try {
        writeAll(m_fd, bytes, failure());
    } catch (const EWriteError&) {
        throw SpoolFailed{};
    }
}

void StreamedOutput::cutBack() const {
    if (m_wrote && m_fd >= 0)
        platform::cutBack(m_fd, m_start);
}

void StreamedOutput::restart() {
    cutBack();
    m_wrote = false;
}

// The spool's bytes into standard output or -o's device or FIFO, a slice at
// a time.
void StreamedOutput::copySpool() const {
    const qint64 size = platform::currentOffset(m_fd);
    if (size < 0 || !platform::seekTo(m_fd, 0))
        throw spoolReadError(errno);
    const int to = m_fileName.isEmpty() ? platform::kStandardOutput : openDevice(m_fileName);
    platform::widenPipe(to, size);
    try {
        // Inside the system where it can; else through a slice of memory.
        qint64 done = 0;
        while (done < size) {
            const long long sent = platform::sendSome(to, m_fd, size - done);
            if (sent > 0) {
                done += sent;
                continue;
            }
            if (sent < 0 && (errno == ENOSYS || errno == EINVAL))
                break;
            if (sent == 0)
                throw spoolReadError(EIO);
            // A failure of either side: the spool's is as unlikely as it is
            // indistinguishable, the destination's is the one to report.
            throw EWriteError(QStringLiteral("%1. %2").arg(failure(), sysErrorMessage(errno)));
        }
        QByteArray slice(1 << 20, Qt::Uninitialized);
        while (done < size) {
            const long long got = platform::readSome(m_fd, slice.data(), slice.size());
            if (got <= 0)
                throw spoolReadError(got < 0 ? errno : EIO);
            writeAll(to, QByteArrayView(slice.constData(), got), failure());
            done += got;
        }
    } catch (...) {
        if (to != platform::kStandardOutput)
            platform::closeFile(to);
        throw;
    }
    if (to != platform::kStandardOutput)
        closeDevice(to, m_fileName);
}

void StreamedOutput::commit() {
    m_committed = true;
    switch (m_kind) {
    case Kind::StandardOutputFile:
        return;
    case Kind::Spool:
        copySpool();
        return;
    case Kind::NamedFile:
        break;
    }
    if (m_fd < 0)
        openBeside(); // nothing written: FILE becomes empty
    if (m_saveFile) {
        if (!m_saveFile->commit())
            throw EWriteError(cannotWriteMessage(m_fileName, m_saveFile->errorString()));
        return;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (!platform::syncAndClose(fd)) {
        const int error = errno;
        platform::removeFile(m_temporary);
        throw EWriteError(cannotWriteMessage(m_fileName, error));
    }
    if (!platform::replaceFile(m_temporary, m_path)) {
        const int error = errno;
        platform::removeFile(m_temporary);
        throw EFCreateError(cannotCreateMessage(m_fileName, error));
    }
}

StreamedOutput::~StreamedOutput() {
    switch (m_kind) {
    case Kind::StandardOutputFile:
        if (!m_committed)
            cutBack();
        break;
    case Kind::Spool:
        platform::closeFile(m_fd);
        break;
    case Kind::NamedFile:
        // QSaveFile removes its own file unless committed.
        if (!m_committed && !m_temporary.isEmpty() && m_fd >= 0) {
            platform::closeFile(m_fd);
            platform::removeFile(m_temporary);
        }
        break;
    }
}

} // namespace dorvane
