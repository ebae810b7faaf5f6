#include "cli/ConvertCommand.h"

#include "cli/PieceReader.h"
#include "cli/ScanAhead.h"
#include "convert/ByteConversion.h"
#include "convert/Choice.h"
#include "convert/Conversion.h"
#include "convert/LineSink.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"
#include "playlist/Errors.h"
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

// The piece of standard input's bytes converted at a time on the direct
// path: small enough that a piece is still in the cache when it is converted
// after its check. (Files go through ScanAhead, in pieces of its own.)
constexpr qsizetype kReadSize = 256 * 1024;

constexpr char kUsage[] =
    "Usage: dorvane-convert --to TARGET [--ansi] [--codepage N] [-o FILE] [CHOICE] [INPUT]\n"
    "       dorvane-convert --list-groups [--codepage N] [-o FILE] [CHOICE] [INPUT]\n"
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
    "\n"
    "CHOICE keeps only some channels; every filter given must hold:\n"
    "  --group NAME          channels of the group NAME (exactly; \"\" for no\n"
    "                        group); may be repeated\n"
    "  --exclude-group NAME  not the channels of the group NAME; may be repeated\n"
    "  --match TEXT          channels whose name contains TEXT, in any case\n"
    "  --dedupe              then one channel per address, the first\n"
    "  --list-groups   instead of converting, list the groups of the chosen\n"
    "                  channels: the channels with an address, a tab, the name\n"
    "  --list-targets  list the targets with their captions in the window\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 wrong usage,\n"
    "3 no channels in INPUT (or none chosen).\n";

enum class Action { Convert, Help, Version, ListTargets, ListGroups };

struct Options {
    Action action = Action::Convert;
    const TargetFormat* target = nullptr;
    bool ansi = false;
    int codePage = 0; // 0: the locale's
    QString output;   // empty: standard output
    QString input;    // empty: standard input
    ChannelFilter filter;
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
        } else if (is(u"--group", true)) {
            options.filter.groups.append(takeValue(u"--group"));
        } else if (is(u"--exclude-group", true)) {
            options.filter.excludedGroups.append(takeValue(u"--exclude-group"));
        } else if (is(u"--match", true)) {
            options.filter.match = takeValue(u"--match");
        } else if (is(u"--dedupe", false)) {
            options.filter.onePerAddress = true;
        } else if (is(u"--list-groups", false)) {
            options.action = Action::ListGroups;
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
        const ssize_t got = ::read(
            STDIN_FILENO, bytes.data() + used,
            static_cast<size_t>(std::min<qsizetype>(bytes.size() - used, qsizetype(1) << 30)));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError(
                QStringLiteral("Cannot read standard input. %1").arg(SysErrorMessage(errno)));
        }
        if (got == 0)
            break;
        used += got;
        if (used > kMaxPlaylistBytes)
            throw EReadError(
                QStringLiteral("Cannot read standard input. %1").arg(SysErrorMessage(EFBIG)));
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
        const ssize_t written =
            ::write(STDOUT_FILENO, data, static_cast<size_t>(std::min<qsizetype>(left, 1 << 30)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw EWriteError(QStringLiteral("Stream write error"));
        }
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

// Converts, line by line, into the output's bytes.
class Converter {
public:
    Converter(const TargetFormat& target, const TEncoding& encoding, qsizetype inputSize)
        : m_target(target), m_conversion(target), m_out(encoding.GetPreamble()),
          m_sink(m_out, encoding) {
        // Enough for most targets in one go; pages never written cost nothing.
        m_out.reserve(m_out.size() + inputSize + inputSize / 8 + 4096);
        if (m_target.converts())
            m_conversion.header(m_sink);
    }

    void addLines(const TStringList& lines) {
        const int count = lines.Count();
        if (m_target.converts()) {
            for (int i = 0; i < count; ++i)
                m_conversion.processLine(lines.line(i), m_sink);
        } else {
            for (int i = 0; i < count; ++i)
                m_sink.addLine({lines.line(i)});
        }
    }

    void finish(int channels) {
        if (m_target.converts())
            m_conversion.footer(m_sink);
        m_sink.flush();
        m_channels = channels;
    }

    int channels() const { return m_channels; }
    // The M3U targets write the playlist itself: an entry is a channel.
    int entries() const { return m_target.converts() ? m_conversion.count : m_channels; }
    const QByteArray& bytes() const { return m_out; }

private:
    const TargetFormat& m_target;
    Conversion m_conversion;
    QByteArray m_out;
    EncodingSink m_sink;
    int m_channels = 0;
};

std::unique_ptr<Converter> convertLines(const TStringList& lines, qsizetype inputSize,
                                        const TargetFormat& target, const TEncoding& encoding) {
    auto converter = std::make_unique<Converter>(target, encoding, inputSize);
    converter->addLines(lines);
    converter->finish(channelCount(lines));
    return converter;
}

// The input read as decodeFileBytes(bytes, UTF-8, ansi) and
// TStringList::setText read it.
TStringList inputLines(QByteArrayView bytes, const TEncoding& ansi) {
    TStringList lines;
    lines.setText(decodeFileBytes(QByteArray::fromRawData(bytes.data(), bytes.size()),
                                  TEncoding::UTF8(), ansi));
    return lines;
}

bool startsWithUtf16Mark(QByteArrayView bytes) {
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

// Reads the input as decodeFileBytes(bytes, UTF-8, ansi) and
// TStringList::setText read it, and converts it.
std::unique_ptr<Converter> convertInput(QByteArrayView bytes, const TEncoding& ansi,
                                        const TargetFormat& target, const TEncoding& encoding) {
    if (startsWithUtf16Mark(bytes)) // rare, and not worth reading in pieces
        return convertLines(inputLines(bytes, ansi), bytes.size(), target, encoding);

    const QByteArray preamble = TEncoding::UTF8().GetPreamble();
    const QByteArrayView body = bytes.startsWith(preamble) ? bytes.sliced(preamble.size()) : bytes;
    // nullptr when the bytes are not in `decoding` (a code page takes any).
    const auto convertPieces = [&](const TEncoding& decoding) -> std::unique_ptr<Converter> {
        auto converter = std::make_unique<Converter>(target, encoding, bytes.size());
        PieceReader reader(body, decoding);
        TStringList lines;
        while (reader.next(lines))
            converter->addLines(lines);
        if (!reader.wellFormed())
            return nullptr;
        converter->finish(reader.channelCount());
        return converter;
    };
    if (auto converter = convertPieces(TEncoding::UTF8()))
        return converter;
    // Not UTF-8 after all: all of it again, in the code page.
    return convertPieces(ansi);
}

// What a conversion gives: the output's bytes and the counts it reports.
struct Result {
    QByteArray bytes;
    int channels = 0;
    int entries = 0;
};

// Strips the preamble from the first piece of the input; false when the
// input begins with a UTF-16 byte-order mark, which the direct path does
// not read. A first piece shorter than three bytes is the whole input or
// ends with an LF, so it has neither a preamble nor a mark.
bool takeLeadingMark(QByteArrayView& piece) {
    if (piece.startsWith("\xFF\xFE") || piece.startsWith("\xFE\xFF"))
        return false;
    if (piece.startsWith("\xEF\xBB\xBF"))
        piece = piece.sliced(3);
    return true;
}

// The direct path, for UTF-8 input (see ByteConversion).
class Utf8Converter {
public:
    Utf8Converter(const TargetFormat& target, const TEncoding& encoding, qsizetype inputSize)
        : m_out(encoding.GetPreamble()),
          m_conversion(target, m_out, inputSize + inputSize / 8 + 4096, encoding) {}

    ByteConversion& conversion() { return m_conversion; }

    Result finish() {
        m_conversion.finish();
        return {m_out, m_conversion.channels(), m_conversion.entries()};
    }

private:
    QByteArray m_out;
    ByteConversion m_conversion;
};

// Bytes already in memory (standard input), in pieces that stay in the cache
// between the check of their form and their conversion. Nothing when they
// are not UTF-8.
std::optional<Result> convertUtf8Bytes(QByteArrayView bytes, const TargetFormat& target,
                                       const TEncoding& encoding) {
    if (!takeLeadingMark(bytes))
        return std::nullopt;
    Utf8Converter converter(target, encoding, bytes.size());
    while (!bytes.isEmpty()) {
        qsizetype size = bytes.size();
        if (size > kReadSize) {
            const void* lf =
                std::memchr(bytes.data() + kReadSize, '\n', static_cast<size_t>(size - kReadSize));
            if (lf)
                size = static_cast<const char*>(lf) - bytes.data() + 1;
        }
        if (!converter.conversion().addPiece(bytes.first(size)))
            return std::nullopt;
        bytes = bytes.sliced(size);
    }
    return converter.finish();
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
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxPlaylistBytes)
        return std::nullopt;

    tried = true;
    const qsizetype size = static_cast<qsizetype>(st.st_size);
    Result result{encoding.GetPreamble()};
    ByteWriter writer(target, result.bytes, size + size / 8 + 4096, encoding);
    ScanAhead reader(fd, fileName, target);
    while (const ScannedPiece* piece = reader.next())
        writer.write(*piece);
    switch (reader.verdict()) {
    case ScanAhead::Verdict::Utf8:
        break;
    case ScanAhead::Verdict::NotUtf8:
        return std::nullopt;
    case ScanAhead::Verdict::TooLarge: // it grew while we read
        tried = false;
        return std::nullopt;
    }
    writer.finish();
    result.channels = reader.channels();
    result.entries = target.converts() ? writer.count() : result.channels;
    return result;
}

// Where the chosen lines go, and the groups of the chosen blocks for
// --list-groups.
template <typename View, typename Out> struct ChosenLines {
    Out& out;
    GroupTally<View>* tally;

    void line(View text) { out.Add(text); }
    void block(const Block<View>& block) {
        if (tally)
            tally->block(block);
    }
};

// The chosen lines of UTF-8 text in memory, handed on straight from the
// text: lines kept one after the other go on as one piece, with their line
// ends, so nothing is copied on the way.
template <typename Piece> class ChosenRuns {
public:
    ChosenRuns(QByteArrayView text, Piece piece)
        : m_textEnd(text.data() + text.size()), m_piece(std::move(piece)) {}

    void Add(QByteArrayView line) {
        // Only a line end between the last line kept and this one: nothing
        // was left out in between (a block left out has a name line).
        const qsizetype gap = m_begin ? line.data() - m_end : -1;
        const bool next = (gap == 1 && (*m_end == '\n' || *m_end == '\r')) ||
                          (gap == 2 && m_end[0] == '\r' && m_end[1] == '\n');
        if (!next) {
            flush();
            m_begin = line.data();
        }
        m_end = line.data() + line.size();
    }

    void flush() {
        if (!m_begin)
            return;
        const char* end = m_end;
        if (end < m_textEnd && *end == '\r')
            ++end;
        if (end < m_textEnd && *end == '\n' && (end == m_end || end[-1] == '\r'))
            ++end;
        m_piece(QByteArrayView(m_begin, end - m_begin));
        m_begin = nullptr;
    }

private:
    const char* const m_textEnd;
    Piece m_piece;
    const char* m_begin = nullptr; // the run of kept lines not yet converted
    const char* m_end = nullptr;
};

template <typename View, typename Out, typename Lines>
void choose(const ChannelFilter& filter, Lines forEach, Out& out, QByteArray* groupList) {
    GroupTally<View> tally;
    ChosenLines<View, Out> keep{out, groupList ? &tally : nullptr};
    BlockChooser<View, FilterDecision<View>, ChosenLines<View, Out>> chooser(
        FilterDecision<View>(filter), keep, filter.onePerAddress);
    forEach([&](View line) { chooser.addLine(line); });
    chooser.finish();
    if (groupList)
        *groupList = groupListText(tally);
}

// The conversion of the chosen channels of the input, read as the conversion
// reads it. The choice is made on the whole input in memory, one block at a
// time, and what it keeps is converted as a playlist of its own. With
// `groupList`, that gets the --list-groups text of the chosen blocks instead,
// and the result only the count of channels.
Result convertChosen(const Options& options, const TEncoding& ansi, const TargetFormat& target,
                     const TEncoding& encoding, QByteArray* groupList) {
    const InputBytes input(options.input);
    const QByteArrayView bytes = input.view();
    if (!startsWithUtf16Mark(bytes)) {
        QByteArrayView body = bytes;
        if (body.startsWith("\xEF\xBB\xBF"))
            body = body.sliced(3);
        if (isWellFormedUtf8(body)) {
            const auto chooseInto = [&](auto piece) {
                ChosenRuns chosen(body, piece);
                choose<QByteArrayView>(
                    options.filter, [&](auto add) { forEachLine(body, add); }, chosen, groupList);
                chosen.flush();
            };
            if (groupList) {
                ByteScanner scanner(target);
                ScannedPiece scanned;
                chooseInto([&](QByteArrayView piece) { scanner.scan(piece, scanned); });
                return {{}, scanner.channels(), 0};
            }
            Utf8Converter converter(target, encoding, body.size());
            chooseInto(
                [&](QByteArrayView piece) { converter.conversion().addWellFormedPiece(piece); });
            return converter.finish();
        }
    }
    const TStringList lines = inputLines(bytes, ansi);
    TStringList chosen;
    choose<QStringView>(
        options.filter,
        [&](auto add) {
            for (int k = 0; k < lines.Count(); ++k)
                add(lines.line(k));
        },
        chosen, groupList);
    if (groupList)
        return {{}, channelCount(chosen), 0};
    const auto converter = convertLines(chosen, bytes.size(), target, encoding);
    return {converter->bytes(), converter->channels(), converter->entries()};
}

QString inputName(const Options& options) {
    return options.input.isEmpty() ? QStringLiteral("standard input") : options.input;
}

void writeOutput(const Options& options, const QByteArray& bytes) {
    if (options.output.isEmpty())
        writeStandardOutput(bytes);
    else
        saveBytesToFile(options.output, bytes);
}

int listGroups(const Options& options) {
    const TEncoding& ansi =
        options.codePage ? *TEncoding::ansi(options.codePage) : TEncoding::Default();
    QByteArray groups;
    // A converting target lists only the channels as the chosen lines are
    // scanned for their count.
    const Result result = convertChosen(options, ansi, formatFor(TTargetKind::tkWizardHD),
                                        TEncoding::UTF8(), &groups);
    if (result.channels == 0) {
        printTo(stderr, QStringLiteral("No channels found in %1\n").arg(inputName(options)));
        return kNoChannels;
    }
    writeOutput(options, groups);
    return kDone;
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
    if (!options.filter.choosesAll())
        result = convertChosen(options, ansi, target, encoding, nullptr);
    else if (!options.input.isEmpty())
        result = convertUtf8File(options.input, target, encoding, triedUtf8);
    if (!result) {
        const InputBytes input(options.input);
        if (!triedUtf8)
            result = convertUtf8Bytes(input.view(), target, encoding);
        if (!result) {
            const std::unique_ptr<Converter> converter =
                convertInput(input.view(), ansi, target, encoding);
            result = Result{converter->bytes(), converter->channels(), converter->entries()};
        }
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
    case Action::ListGroups:
        break;
    }

    try {
        return options.action == Action::ListGroups ? listGroups(options) : convert(options);
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
