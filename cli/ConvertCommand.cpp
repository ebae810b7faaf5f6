#include "cli/ConvertCommand.h"

#include "cli/PieceReader.h"
#include "cli/ScanAhead.h"
#include "convert/ByteConversion.h"
#include "convert/ByteLineSink.h"
#include "convert/Conversion.h"
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/Platform.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#ifndef DORVANE_VERSION
#define DORVANE_VERSION "unknown"
#endif

namespace dorvane {

namespace {

enum ExitStatus { kDone = 0, kFileError = 1, kUsageError = 2, kNoChannels = 3 };

constexpr char kUsage[] =
    "Usage: dorvane-convert --to TARGET [--ansi] [--codepage N] [-o FILE] [INPUT]\n"
    "       dorvane-convert --list-targets | --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Converts an M3U playlist into the list format TARGET and writes exactly the\n"
    "bytes the window's Save writes.\n"
    "\n"
    "  --to TARGET     the target format, one of those --list-targets shows\n"
    "  --ansi          write in the ANSI code page, without a byte-order mark,\n"
    "                  instead of UTF-8 with one\n"
    "  --codepage N    the ANSI code page for this run (1250-1258, 874, 932, 936,\n"
    "                  949, 950): for --ansi and for reading input that is not\n"
    "                  UTF-8; by default the one of the locale (LC_ALL, LC_CTYPE,\n"
    "                  LANG)\n"
    "  -o FILE         write to FILE, replacing it only once every byte is written;\n"
    "                  by default to standard output\n"
    "  INPUT           the playlist; standard input when absent or \"-\"\n"
    "  --list-targets  list the targets with their captions in the window\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 wrong usage,\n"
    "3 no channels in INPUT.\n";

enum class Action { Convert, Help, Version, ListTargets };

struct Options {
    Action action = Action::Convert;
    const TargetFormat* target = nullptr;
    bool ansi = false;
    int codePage = 0; // 0: the locale's
    QString output;   // empty: standard output
    QString input;    // empty: standard input
};

struct UsageError {
    QString message;
};

void printTo(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

Options parseArguments(int argc, char** argv) {
    Options options;
    bool inputGiven = false;
    bool optionsEnded = false;
    for (int k = 1; k < argc; ++k) {
        const QString arg = QFile::decodeName(argv[k]);
        const auto takeValue = [&](QStringView name) -> QString {
            // "--name=value" or "--name value"
            if (arg.size() > name.size())
                return arg.sliced(name.size() + 1);
            if (k + 1 >= argc)
                throw UsageError{QStringLiteral("%1 needs a value").arg(name)};
            return QFile::decodeName(argv[++k]);
        };
        const auto is = [&](QStringView name, bool takesValue) {
            return arg == name || (takesValue && arg.startsWith(name) && arg.size() > name.size() &&
                                   arg[name.size()] == u'=');
        };

        if (optionsEnded || arg == u"-" || !arg.startsWith(u'-')) {
            if (inputGiven)
                throw UsageError{QStringLiteral("only one INPUT may be given")};
            inputGiven = true;
            options.input = arg == u"-" && !optionsEnded ? QString() : arg;
        } else if (arg == u"--") {
            optionsEnded = true;
        } else if (is(u"--to", true)) {
            const QString name = takeValue(u"--to");
            options.target = formatByCliName(name);
            if (!options.target)
                throw UsageError{
                    QStringLiteral("unknown target \"%1\" (see --list-targets)").arg(name)};
        } else if (is(u"--ansi", false)) {
            options.ansi = true;
        } else if (is(u"--codepage", true)) {
            const QString value = takeValue(u"--codepage");
            bool ok = false;
            const int codePage = value.toInt(&ok);
            if (!ok || !isSupportedAnsiCodePage(codePage))
                throw UsageError{QStringLiteral("unsupported code page \"%1\"").arg(value)};
            options.codePage = codePage;
        } else if (is(u"-o", false) || is(u"--output", true)) {
            options.output = takeValue(arg.startsWith(u"--") ? u"--output" : u"-o");
            if (options.output.isEmpty())
                throw UsageError{QStringLiteral("-o needs a file name")};
        } else if (is(u"--list-targets", false)) {
            options.action = Action::ListTargets;
        } else if (is(u"--help", false) || is(u"-h", false)) {
            options.action = Action::Help;
        } else if (is(u"--version", false)) {
            options.action = Action::Version;
        } else {
            throw UsageError{QStringLiteral("unknown option \"%1\"").arg(arg)};
        }
    }
    if (options.action == Action::Convert && !options.target)
        throw UsageError{QStringLiteral("--to TARGET is required")};
    return options;
}

QByteArray readStandardInput() {
    QByteArray bytes;
    qsizetype used = 0;
    while (true) {
        if (bytes.size() - used < 65536)
            bytes.resize(std::max<qsizetype>(used * 2, used + 65536));
        const long long got =
            platform::readSome(STDIN_FILENO, bytes.data() + used, bytes.size() - used);
        if (got < 0)
            throw EReadError(
                QStringLiteral("Cannot read standard input. %1").arg(sysErrorMessage(errno)));
        if (got == 0)
            break;
        used += got;
        if (used > kMaxPlaylistBytes)
            throw EReadError(
                QStringLiteral("Cannot read standard input. %1").arg(sysErrorMessage(EFBIG)));
    }
    bytes.resize(used);
    return bytes;
}

// A pipe holds 64 KiB by default, so a big output goes through it in many
// small turns, each a switch to the reading process and back; with 1 MiB
// (the most Linux grants without privileges) writing 150 MB into `cat` took
// 40 % less time. Best effort: where the call does not exist or is refused,
// the pipe stays as it is.
void widenOutputPipe(qsizetype outputSize) {
#ifdef F_SETPIPE_SZ
    struct stat st {};
    if (outputSize > 65536 && ::fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode))
        ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
#else
    (void)outputSize;
#endif
}

void writeStandardOutput(const QByteArray& bytes) {
    widenOutputPipe(bytes.size());
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const long long written = platform::writeSome(STDOUT_FILENO, data, left);
        if (written < 0)
            throw EWriteError(QStringLiteral("Stream write error"));
        data += written;
        left -= written;
    }
}

QString countText(int n, QStringView one, QStringView many) {
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// The input's bytes, for the UTF-16 way (UTF-16 and code-page input)
// and standard input. A regular file within the size limit is mapped rather
// than read: no copy, and no fresh memory for the kernel to clear (a third
// of the whole run on a big playlist). The price: a file that another program
// cuts short while it is converted ends the process; it writes nothing then.
// (UTF-8 files are read in pieces instead, see convertUtf8File.)
class InputBytes {
public:
    explicit InputBytes(const QString& fileName) {
        if (fileName.isEmpty()) {
            m_bytes = readStandardInput();
            return;
        }
        const QFileInfo info(fileName);
        if (info.isFile() && info.size() > 0 && info.size() <= kMaxPlaylistBytes) {
            m_file.setFileName(fileName);
            if (m_file.open(QIODevice::ReadOnly)) {
                m_mapped = m_file.map(0, m_file.size());
                if (m_mapped) {
                    m_size = m_file.size();
                    return;
                }
            }
            m_file.close();
        }
        m_bytes = readWholeFile(fileName); // and its error message, the size limit's too
    }

    QByteArrayView view() const {
        return m_mapped ? QByteArrayView(m_mapped, m_size) : QByteArrayView(m_bytes);
    }

private:
    QFile m_file;
    uchar* m_mapped = nullptr;
    qsizetype m_size = 0;
    QByteArray m_bytes;
};

// What a conversion gives: the output's bytes and the counts it reports.
struct Result {
    QByteArray bytes;
    int channels = 0;
    int entries = 0;
};

// A source for runConversion: the lines of a PieceReader's pieces.
class PieceSource {
public:
    PieceSource(const TargetFormat& target, PieceReader& reader)
        : m_conversion(target), m_reader(reader) {}

    template <typename Write> bool next(Write& write) {
        if (!m_reader.next(m_lines))
            return false;
        for (int i = 0; i < m_lines.Count(); ++i)
            m_conversion.processLine(m_lines.line(i), write);
        return true;
    }
    int channels() const { return m_reader.channelCount(); }

private:
    Conversion m_conversion;
    PieceReader& m_reader;
    TStringList m_lines;
};

// Reads the input as decodeFileBytes(bytes, UTF-8, ansi) and
// TStringList::setText read it, and converts it.
Result convertInput(QByteArrayView bytes, const TEncoding& ansi, const TargetFormat& target,
                    const TEncoding& encoding) {
    Result result{encoding.GetPreamble()};
    // Enough for most targets in one go; pages never written cost nothing.
    result.bytes.reserve(result.bytes.size() + bytes.size() + bytes.size() / 8 + 4096);
    const qsizetype preambleSize = result.bytes.size();
    const auto finish = [&](ConversionCounts counts, EncodingSink& sink) {
        sink.flush();
        result.channels = counts.channels;
        result.entries = counts.entries;
    };
    if (platform::startsWithUtf16Mark(bytes)) {
        // UTF-16: rare, and not worth reading in pieces.
        TStringList lines;
        lines.setText(decodeFileBytes(QByteArray::fromRawData(bytes.data(), bytes.size()),
                                      TEncoding::UTF8(), ansi));
        EncodingSink sink(result.bytes, encoding);
        finish(convertLines(target, lines, sink), sink);
        return result;
    }

    const QByteArray preamble = TEncoding::UTF8().GetPreamble();
    const QByteArrayView body = bytes.startsWith(preamble) ? bytes.sliced(preamble.size()) : bytes;
    // False when the bytes are not in `decoding` (a code page takes any).
    const auto convertPieces = [&](const TEncoding& decoding) {
        result.bytes.resize(preambleSize);
        EncodingSink sink(result.bytes, encoding);
        PieceReader reader(body, decoding);
        PieceSource source(target, reader);
        finish(runConversion(target, source, sink), sink);
        return reader.wellFormed();
    };
    // Not UTF-8 after all: all of it again, in the code page.
    if (!convertPieces(TEncoding::UTF8()))
        convertPieces(ansi);
    return result;
}

// Strips the preamble from the first piece of the input; false when the
// input begins with a UTF-16 byte-order mark, which the direct path does
// not read. A first piece shorter than three bytes is the whole input or
// ends with an LF, so it has neither a preamble nor a mark.
bool takeLeadingMark(QByteArrayView& piece) {
    if (platform::startsWithUtf16Mark(piece))
        return false;
    if (platform::startsWithUtf8Mark(piece))
        piece = piece.sliced(3);
    return true;
}

// Bytes already in memory (standard input), on the direct path (see
// ByteConversion), in pieces that stay in the cache between the check of
// their form and their conversion. Nothing when they are not UTF-8.
std::optional<Result> convertUtf8Bytes(QByteArrayView bytes, const TargetFormat& target,
                                       const TEncoding& encoding) {
    if (!takeLeadingMark(bytes))
        return std::nullopt;
    Result result{encoding.GetPreamble()};
    ByteLineSink sink(result.bytes, bytes.size() + bytes.size() / 8 + 4096, encoding);
    Utf8Source source(target, bytes);
    const ConversionCounts counts = runConversion(target, source, sink);
    if (!source.wellFormed())
        return std::nullopt;
    sink.finish();
    result.channels = counts.channels;
    result.entries = counts.entries;
    return result;
}

// A regular file, read (not mapped) in pieces, and scanned on a second
// thread (ScanAhead) while this one writes: only the output is held whole. A
// mapped file that another program cuts short while we read it would kill
// the process; a read just ends early. Nothing when the file is not a
// readable regular file (`tried` false: the whole-file path then reads it,
// or reports why it cannot) or not UTF-8 (`tried` true).
std::optional<Result> convertUtf8File(const QString& fileName, const TargetFormat& target,
                                      const TEncoding& encoding, bool& tried) {
    tried = false;
    const int fd = platform::openForReading(fileName);
    if (fd < 0)
        return std::nullopt;
    const platform::FileCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxPlaylistBytes)
        return std::nullopt;

    tried = true;
    const qsizetype size = static_cast<qsizetype>(st.st_size);
    Result result{encoding.GetPreamble()};
    ByteLineSink sink(result.bytes, size + size / 8 + 4096, encoding);
    ScanAhead reader(fd, fileName, target);
    ScannedPieceSource source(reader);
    const ConversionCounts counts = runConversion(target, source, sink);
    switch (reader.verdict()) {
    case ScanAhead::Verdict::Utf8:
        break;
    case ScanAhead::Verdict::NotUtf8:
        return std::nullopt;
    case ScanAhead::Verdict::TooLarge: // it grew while we read
        tried = false;
        return std::nullopt;
    }
    sink.finish();
    result.channels = counts.channels;
    result.entries = counts.entries;
    return result;
}

int convert(const Options& options) {
    const TEncoding& ansi =
        options.codePage ? *TEncoding::ansi(options.codePage) : TEncoding::Default();
    const TEncoding& encoding = options.ansi ? ansi : TEncoding::UTF8();
    const TargetFormat& target = *options.target;

    // UTF-8 input, the common case, goes the direct way; everything else
    // (UTF-16, code pages) through UTF-16 lines.
    std::optional<Result> result;
    bool triedUtf8 = false;
    if (!options.input.isEmpty())
        result = convertUtf8File(options.input, target, encoding, triedUtf8);
    if (!result) {
        const InputBytes input(options.input);
        if (!triedUtf8)
            result = convertUtf8Bytes(input.view(), target, encoding);
        if (!result)
            result = convertInput(input.view(), ansi, target, encoding);
    }

    if (result->channels == 0) {
        printTo(stderr, QStringLiteral("No channels found in %1\n")
                            .arg(options.input.isEmpty() ? QStringLiteral("standard input")
                                                         : options.input));
        return kNoChannels;
    }

    if (options.output.isEmpty())
        writeStandardOutput(result->bytes);
    else
        saveBytesToFile(options.output, result->bytes);

    printTo(stderr, QStringLiteral("%1, %2, %3\n")
                        .arg(countText(result->channels, u"channel", u"channels"),
                             countText(result->entries, u"entry", u"entries"), target.cliName()));
    return kDone;
}

QString targetList() {
    QString text;
    for (const TargetFormat* format : allFormats()) {
        text += format->cliName().toString().leftJustified(12);
        text += format->caption();
        text += u'\n';
    }
    return text;
}

} // namespace

int runConvertCommand(int argc, char** argv) {
    Options options;
    try {
        options = parseArguments(argc, argv);
    } catch (const UsageError& error) {
        printTo(stderr,
                QStringLiteral("dorvane-convert: %1\n%2Try \"dorvane-convert --help\" for more.\n")
                    .arg(error.message, QString::fromLatin1(kUsage)));
        return kUsageError;
    }

    switch (options.action) {
    case Action::Help:
        printTo(stdout, QString::fromLatin1(kUsage) + QString::fromLatin1(kHelp));
        return kDone;
    case Action::Version:
        printTo(stdout, QStringLiteral("dorvane-convert " DORVANE_VERSION "\n"));
        return kDone;
    case Action::ListTargets:
        printTo(stdout, targetList());
        return kDone;
    case Action::Convert:
        break;
    }

    try {
        return convert(options);
    } catch (const Exception& error) {
        printTo(stderr, error.Message() + u'\n');
    } catch (const std::bad_alloc&) {
        printTo(stderr, QStringLiteral("Out of memory\n"));
    } catch (const std::exception& error) { // a thread the system would not start
        printTo(stderr, QString::fromLocal8Bit(error.what()) + u'\n');
    }
    return kFileError;
}

} // namespace dorvane
