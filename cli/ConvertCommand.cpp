#include "cli/ConvertCommand.h"

#include "cli/DownloadModule.h"
#include "cli/InputReader.h"
#include "cli/Output.h"
#include "cli/PieceReader.h"
#include "cli/ScanAhead.h"
#include "convert/ByteConversion.h"
#include "convert/ByteLineSink.h"
#include "convert/Choice.h"
#include "convert/Conversion.h"
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/FileName.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/Platform.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"
#include "playlist/WebAddress.h"
#include "source/provider/ProviderLogin.h"
#include "source/provider/ProviderPlaylist.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

constexpr char kProgram[] = "dorvane-convert";

constexpr char kUsage[] =
    "Usage: dorvane-convert --to TARGET [--ansi] [--codepage N] [-o FILE] [-q]\n"
    "                       [--timeout SECONDS] [CHOICE] [INPUT]\n"
    "       dorvane-convert --to TARGET --provider SERVER --user NAME\n"
    "                       [--password-file FILE] [--movies] [--no-live]\n"
    "                       [--stream-format ts|m3u8] [options] [CHOICE]\n"
    "       dorvane-convert --list-groups [--codepage N] [-o FILE] [CHOICE] [INPUT]\n"
    "       dorvane-convert --list-targets | --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Converts an M3U playlist into the list format TARGET and writes exactly the\n"
    "bytes the window's Save writes.\n"
    "\n"
    "  -t, --to=TARGET the target format, one of those --list-targets shows\n"
    "  --ansi          write in the ANSI code page, without a byte-order mark,\n"
    "                  instead of UTF-8 with one (not for the targets that are\n"
    "                  always written in UTF-8)\n"
    "  --codepage N    the ANSI code page for this run (1250-1258, 874, 932, 936,\n"
    "                  949, 950): for --ansi and for reading input that is not\n"
    "                  UTF-8; by default the one of the locale (LC_ALL, LC_CTYPE,\n"
    "                  LANG)\n"
    "  -o, --output=FILE\n"
    "                  write to FILE, replacing it only once every byte is written;\n"
    "                  by default, and when FILE is \"-\", to standard output\n"
    "  -q, --quiet     print no summary of what was written, and no progress line\n"
    "                  while downloading\n"
    "  --timeout SECONDS\n"
    "                  give up a download after this long without a byte\n"
    "                  (default 30)\n"
    "  INPUT           the playlist: a file, an http:// or https:// address, or\n"
    "                  standard input when absent or \"-\"; a provider's\n"
    "                  .../get.php?username=...&password=... address that fails or\n"
    "                  holds no channel is read through --provider's interface\n"
    "\n"
    "A provider's channels through its player interface (player_api.php), instead\n"
    "of INPUT (series are not read):\n"
    "  --provider SERVER      the provider's server, as http://host:port\n"
    "  --user NAME            the account's user name\n"
    "  --password-file FILE   the password: the first line of FILE; by default the\n"
    "                         environment variable DORVANE_PASSWORD\n"
    "  --movies               add the films\n"
    "  --no-live              leave live TV out\n"
    "  --stream-format ts|m3u8\n"
    "                         the live streams' format, by default ts unless the\n"
    "                         account allows only m3u8\n"
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
    "  -h, --help      show this text\n"
    "  --version       show the version\n"
    "\n"
    "Messages and the summary go to standard error. With --ansi, characters the\n"
    "code page lacks are written as a substitute, and a warning says how many.\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 wrong usage,\n"
    "3 no channels in INPUT (or none chosen).\n";

enum class Action { Convert, Help, Version, ListTargets, ListGroups };

struct Options {
    Action action = Action::Convert;
    const TargetFormat* target = nullptr;
    bool ansi = false;
    bool quiet = false;
    int codePage = 0;                         // 0: the locale's
    QString output;                           // empty: standard output
    QString input;                            // empty: standard input
    std::chrono::milliseconds timeout{30000}; // a download's stall limit
    ChannelFilter filter;
    // --provider: the interface's login instead of INPUT.
    QString provider, user, passwordFile;
    bool movies = false, noLive = false;
    StreamFormat streamFormat = StreamFormat::Auto;
};

struct UsageError {
    QString message;
};

const QString kStandardOutputFailure = QStringLiteral("Cannot write to standard output");

// False when the stream did not take every byte (errno says why).
bool printTo(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    errno = 0;
    const size_t written =
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    return std::fflush(stream) == 0 && written == static_cast<size_t>(bytes.size());
}

// Everything said on standard error is one line that names the program, so
// that it can be told apart from other programs' messages in a script's log.
void printMessage(const QString& text) {
    printTo(stderr, QStringLiteral("%1: %2\n").arg(QLatin1String(kProgram), text));
}

// The information options' text on standard output; a failure to write it
// (a full disk, a closed output) fails the run.
int printInformation(const QString& text) {
    if (printTo(stdout, text))
        return kDone;
    const int error = errno ? errno : EIO;
    printMessage(QStringLiteral("%1. %2").arg(kStandardOutputFailure, sysErrorMessage(error)));
    return kFileError;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    bool inputGiven = false;
    bool optionsEnded = false;
    for (int k = 1; k < argc; ++k) {
        const QString arg = decodeFileName(argv[k]); // a file name keeps its bytes
        // "--name=value", "-xvalue", or the value as the next argument.
        const auto takeValue = [&](QStringView name) -> QString {
            if (arg.size() > name.size())
                return arg.sliced(name.size() + (name.startsWith(u"--") ? 1 : 0));
            if (k + 1 >= argc)
                throw UsageError{QStringLiteral("%1 needs a value").arg(name)};
            return decodeFileName(argv[++k]);
        };
        // A long option with a value may be written "--name=value"; a short
        // one "-xvalue".
        const auto is = [&](QStringView name, bool takesValue) {
            if (arg == name)
                return true;
            if (!takesValue || !arg.startsWith(name))
                return false;
            return !name.startsWith(u"--") || arg[name.size()] == u'=';
        };

        if (optionsEnded || arg == u"-" || !arg.startsWith(u'-')) {
            if (inputGiven)
                throw UsageError{QStringLiteral("only one INPUT may be given")};
            inputGiven = true;
            options.input = arg == u"-" && !optionsEnded ? QString() : arg;
        } else if (arg == u"--") {
            optionsEnded = true;
        } else if (is(u"--to", true) || is(u"-t", true)) {
            const QString name = takeValue(arg.startsWith(u"--") ? u"--to" : u"-t");
            options.target = formatByCliName(name);
            if (!options.target)
                throw UsageError{
                    QStringLiteral("unknown target \"%1\" (see --list-targets)").arg(name)};
        } else if (is(u"--ansi", false)) {
            options.ansi = true;
        } else if (is(u"--quiet", false) || is(u"-q", false)) {
            options.quiet = true;
        } else if (is(u"--codepage", true)) {
            const QString value = takeValue(u"--codepage");
            bool ok = false;
            const int codePage = value.toInt(&ok);
            if (!ok || !isSupportedAnsiCodePage(codePage))
                throw UsageError{QStringLiteral("unsupported code page \"%1\"").arg(value)};
            options.codePage = codePage;
        } else if (is(u"--timeout", true)) {
            const QString value = takeValue(u"--timeout");
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400 * 365)
                throw UsageError{QStringLiteral("invalid timeout \"%1\"").arg(value)};
            options.timeout =
                std::chrono::milliseconds(std::max<qint64>(1, std::llround(seconds * 1000)));
        } else if (is(u"-o", true) || is(u"--output", true)) {
            options.output = takeValue(arg.startsWith(u"--") ? u"--output" : u"-o");
            if (options.output.isEmpty())
                throw UsageError{QStringLiteral("-o needs a file name")};
            if (options.output == u"-") // as for INPUT: standard output; "./-" is the file
                options.output.clear();
        } else if (is(u"--group", true)) {
            options.filter.groups.append(takeValue(u"--group"));
        } else if (is(u"--exclude-group", true)) {
            options.filter.excludedGroups.append(takeValue(u"--exclude-group"));
        } else if (is(u"--match", true)) {
            options.filter.match = takeValue(u"--match");
        } else if (is(u"--dedupe", false)) {
            options.filter.onePerAddress = true;
        } else if (is(u"--provider", true)) {
            options.provider = takeValue(u"--provider");
        } else if (is(u"--user", true)) {
            options.user = takeValue(u"--user");
        } else if (is(u"--password-file", true)) {
            options.passwordFile = takeValue(u"--password-file");
        } else if (is(u"--movies", false)) {
            options.movies = true;
        } else if (is(u"--no-live", false)) {
            options.noLive = true;
        } else if (is(u"--stream-format", true)) {
            const QString value = takeValue(u"--stream-format");
            if (value == u"ts")
                options.streamFormat = StreamFormat::Ts;
            else if (value == u"m3u8")
                options.streamFormat = StreamFormat::M3u8;
            else
                throw UsageError{
                    QStringLiteral("--stream-format is ts or m3u8, not \"%1\"").arg(value)};
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
    if (!options.provider.isEmpty()) {
        if (inputGiven)
            throw UsageError{QStringLiteral("--provider cannot be used with an INPUT")};
        if (options.user.isEmpty())
            throw UsageError{QStringLiteral("--provider needs --user NAME")};
        if (options.noLive && !options.movies)
            throw UsageError{QStringLiteral("--no-live without --movies leaves nothing to read")};
    } else if (!options.user.isEmpty() || !options.passwordFile.isEmpty() || options.movies ||
               options.noLive || options.streamFormat != StreamFormat::Auto) {
        throw UsageError{QStringLiteral("--user, --password-file, --movies, --no-live and "
                                        "--stream-format go with --provider")};
    }
    if (options.action == Action::Convert && !options.target)
        throw UsageError{QStringLiteral("--to TARGET is required")};
    if (options.action == Action::Convert && options.ansi && !options.target->allowsAnsi())
        throw UsageError{QStringLiteral("--ansi cannot be used with %1: that target is always "
                                        "written in UTF-8")
                             .arg(options.target->cliName())};
    return options;
}

QString countText(int n, QStringView one, QStringView many) {
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// What a conversion gives: the output's bytes, the counts it reports, and
// where the text ended at a U+0000 in the input's bytes (-1: it did not).
struct Result {
    QByteArray bytes;
    int channels = 0;
    int entries = 0;
    qint64 nulOffset = -1;
    qint64 inputSize = 0;
    qsizetype replaced = 0; // characters the code page had no bytes for
    bool streamed = false;  // the bytes went to the StreamedOutput as they were made
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

// The way of UTF-16 lines, for input in a code page or in UTF-16: the
// lines' entries encoded into the output's bytes as they are written.
template <typename Source>
Result runIntoBytes(const TargetFormat& target, const TEncoding& encoding, const SourceName& name,
                    qsizetype inputSize, Source& source) {
    Result result{target.preamble(encoding)};
    // Enough for most targets in one go; pages never written cost nothing.
    result.bytes.reserve(result.bytes.size() + inputSize + inputSize / 8 + 4096);
    EncodingSink sink(result.bytes, encoding, target.lineEnd());
    const ConversionCounts counts = runConversion(target, source, sink, name);
    sink.flush();
    result.channels = counts.channels;
    result.entries = counts.entries;
    result.replaced = sink.replaced();
    return result;
}

// How much output is held before it goes to a StreamedOutput: one write's
// worth (see platform::writeSome), small enough to stay in the cache. Writing
// 162 MB into a file as it was made, rather than once it was all made, took
// a third of the time: no page of a buffer that size is ever touched.
constexpr qsizetype kStreamChunk = 1 << 20;

// With `streamed`, the sink's bytes go there as they are made, from a chunk
// of the sink's own: the sink needs no room in the result's bytes then.
void streamInto(ByteLineSink& sink, StreamedOutput* streamed) {
    if (streamed)
        sink.drainEvery(kStreamChunk, [streamed](QByteArrayView bytes) { streamed->write(bytes); });
}

// UTF-8 input the direct way (see convert/ByteConversion.h): scanned in pieces on a
// second thread (ScanAhead) while this one writes. Nothing when the input is
// not for this way (`verdict` says why). With `streamed`, the output goes
// there while it is made, and is taken back should the input not be for this
// way after all; without, it is held whole.
std::optional<Result> convertUtf8(InputReader& reader, const TargetFormat& target,
                                  const TEncoding& encoding, const SourceName& name,
                                  ScanAhead::Mode mode, ScanAhead::Verdict& verdict,
                                  StreamedOutput* streamed) {
    const qsizetype size = reader.sizeHint();
    Result result{target.preamble(encoding)};
    ByteLineSink sink(result.bytes, streamed ? 0 : size + size / 8 + 4096, encoding,
                      target.lineEnd());
    streamInto(sink, streamed);
    ScanAhead scan(reader, target, mode);
    ScannedPieceSource source(scan);
    const ConversionCounts counts = runConversion(target, source, sink, name);
    verdict = scan.verdict();
    if (verdict != ScanAhead::Verdict::Utf8) {
        if (sink.drained())
            streamed->restart();
        return std::nullopt;
    }
    sink.finish();
    result.channels = counts.channels;
    result.entries = counts.entries;
    result.replaced = sink.replaced();
    result.streamed = sink.drained();
    return result;
}

// Input in a code page, decoded and split in pieces (PieceReader).
Result convertCodePage(InputReader& reader, const TEncoding& ansi, const TargetFormat& target,
                       const TEncoding& encoding, const SourceName& name) {
    PieceReader pieces(reader, ansi);
    PieceSource source(target, pieces);
    return runIntoBytes(target, encoding, name, reader.sizeHint(), source);
}

// Input with a UTF-16 byte-order mark: rare, and read whole.
Result convertUtf16(InputReader& reader, const TEncoding& ansi, const TargetFormat& target,
                    const TEncoding& encoding, const SourceName& name) {
    QByteArray bytes;
    bytes.reserve(reader.sizeHint());
    PieceBuffer buffer;
    for (QByteArrayView piece; !(piece = reader.next(buffer)).isEmpty();)
        bytes.append(piece);
    const QString text = decodeFileBytes(bytes, TEncoding::UTF8(), ansi);
    bytes = QByteArray();
    TStringList lines;
    lines.setText(text);
    LineListSource source(target, lines);
    Result result = runIntoBytes(target, encoding, name, text.size(), source);
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        result.nulOffset = 2 + 2 * qint64(nul); // after the mark, two bytes a unit
    return result;
}

// Reads the input as the window reads a file (decodeFileBytes with UTF-8 and
// `ansi`, then TStringList::setText) and converts it. UTF-8, the common
// case, is converted as it is read; input that proves not to be UTF-8 is
// read again: tallied (Utf8Tally), then converted as almost-UTF-8 or in the
// code page.
Result convertInput(InputReader& reader, const TEncoding& ansi, const TargetFormat& target,
                    const TEncoding& encoding, const SourceName& source,
                    StreamedOutput* streamed = nullptr) {
    ScanAhead::Verdict verdict = ScanAhead::Verdict::Utf8;
    std::optional<Result> result =
        convertUtf8(reader, target, encoding, source, ScanAhead::Mode::Strict, verdict, streamed);
    if (!result) {
        reader.rewind();
        if (verdict == ScanAhead::Verdict::Utf16) {
            result = convertUtf16(reader, ansi, target, encoding, source);
            result->inputSize = reader.size();
            return *result;
        }
        Utf8Tally tally;
        PieceBuffer buffer;
        bool first = true;
        for (QByteArrayView piece; !(piece = reader.next(buffer)).isEmpty(); first = false) {
            // The preamble is no sequence of the text (decodeFileBytes).
            if (first && platform::startsWithUtf8Mark(piece))
                piece = piece.sliced(3);
            tally.add(piece);
        }
        reader.rewind();
        if (tally.readsAsUtf8())
            result = convertUtf8(reader, target, encoding, source, ScanAhead::Mode::Repair, verdict,
                                 streamed);
        else
            result = convertCodePage(reader, ansi, target, encoding, source);
    }
    result->nulOffset = reader.nulOffset();
    result->inputSize = reader.size();
    return *result;
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

// The chosen lines of UTF-8 text, handed on straight from the text: lines
// kept one after the other go on as one piece, with their line ends, so
// nothing is copied on the way.
template <typename Piece> class ChosenRuns {
public:
    explicit ChosenRuns(Piece piece) : m_piece(std::move(piece)) {}

    // The text the next lines lie in; what was kept of the last one is
    // handed on first.
    void setText(QByteArrayView text) {
        flush();
        m_textEnd = text.data() + text.size();
    }

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
    Piece m_piece;
    const char* m_textEnd = nullptr;
    const char* m_begin = nullptr; // the run of kept lines not yet handed on
    const char* m_end = nullptr;
};

// Chooses from UTF-8 text that comes in pieces, each but the last ending
// after a line end, holding at most one block: the lines up to the last
// block that begins in a piece are chosen at once, and that block is carried
// over into the next piece, where it may go on.
template <typename Piece> class StreamChooser {
public:
    StreamChooser(const ChannelFilter& filter, GroupTally<QByteArrayView>* tally, Piece piece)
        : m_runs(std::move(piece)), m_keep{m_runs, tally},
          m_chooser(FilterDecision<QByteArrayView>(filter), m_keep, filter.onePerAddress) {}

    void add(QByteArrayView piece) {
        if (m_ended)
            return;
        QByteArrayView text = piece;
        if (!m_carry.isEmpty()) {
            // resize(0) keeps the room for the next piece.
            m_work.resize(0);
            m_work.append(m_carry);
            m_work.append(piece);
            text = m_work;
        }
        // The text ends at a 00 byte (TStringList::setText).
        const qsizetype nul = text.indexOf('\0');
        if (nul >= 0) {
            text = text.first(nul);
            m_ended = true;
        }
        const qsizetype cut = m_ended ? text.size() : lastBlockStart(text);
        choose(text, cut);
        m_carry.resize(0);
        m_carry.append(text.sliced(cut));
    }

    void finish() {
        if (!m_ended) {
            const QByteArray rest = std::move(m_carry);
            choose(rest, rest.size());
        }
        m_runs.flush();
    }

private:
    // Where the last line that names a channel begins; with none, the end
    // of the text (it is all header), or its start when a block goes on.
    qsizetype lastBlockStart(QByteArrayView text) {
        const qsizetype name = text.lastIndexOf("#EXTINF");
        if (name < 0)
            return m_inBlock ? 0 : text.size();
        m_inBlock = true;
        qsizetype start = name;
        while (start > 0 && text[start - 1] != '\n' && text[start - 1] != '\r')
            --start;
        return start;
    }

    // Chooses the lines before `cut`, where a block begins (or the text ends).
    void choose(QByteArrayView text, qsizetype cut) {
        if (cut == 0)
            return;
        m_runs.setText(text);
        forEachLine(text.first(cut), [&](QByteArrayView line) { m_chooser.addLine(line); });
        m_chooser.finish();
        m_runs.flush();
    }

    using Runs = ChosenRuns<Piece>;
    using Keep = ChosenLines<QByteArrayView, Runs>;
    Runs m_runs;
    Keep m_keep;
    BlockChooser<QByteArrayView, FilterDecision<QByteArrayView>, Keep> m_chooser;
    QByteArray m_carry;     // the block that may go on in the next piece
    QByteArray m_work;      // the carry and the next piece
    bool m_inBlock = false; // the carry begins with a block, not the header
    bool m_ended = false;   // past a 00 byte
};

// The conversion of the chosen channels of the input. UTF-8 input (after a
// preamble) is chosen from as it is read, piece by piece, and what is kept
// goes on to the direct conversion as it is chosen. Other input is read the
// usual way and written out as the M3U target writes it, so that it is
// chosen from in the very lines a conversion reads. With `groupList`, that
// gets the --list-groups text of the chosen blocks instead, and the result
// only the count of channels.
// With `streamed`, the conversion of the kept lines goes there as it is made.
Result convertChosen(InputReader& reader, const ChannelFilter& filter, const TEncoding& ansi,
                     const TargetFormat& target, const TEncoding& encoding,
                     const SourceName& source, QByteArray* groupList, StreamedOutput* streamed) {
    // Chooses from the pieces that `next` gives; false when one of them is
    // not UTF-8.
    const auto chooseFrom = [&](qsizetype sizeHint, auto next, Result& result) {
        GroupTally<QByteArrayView> tally;
        GroupTally<QByteArrayView>* groups = groupList ? &tally : nullptr;
        ByteScanner scanner(target); // --list-groups: only counts
        ScannedPiece scanned;
        result = Result{target.preamble(encoding)};
        // The kept lines, for the conversion: never more than the input, so
        // room for that at once. Grown as it went, each move of the lines
        // into fresh memory cost more than the choosing.
        QByteArray chosen;
        if (!groupList && sizeHint > 0) {
            chosen.reserve(sizeHint);
            adviseHugePages(chosen.data(), chosen.capacity());
        }
        StreamChooser chooser(filter, groups, [&](QByteArrayView piece) {
            if (groupList)
                scanner.scan(piece, scanned);
            else
                chosen.append(piece);
        });
        bool first = true;
        for (QByteArrayView piece; !(piece = next()).isEmpty(); first = false) {
            if (first && (piece.startsWith("\xFF\xFE") || piece.startsWith("\xFE\xFF")))
                return false;
            if (first && piece.startsWith("\xEF\xBB\xBF"))
                piece = piece.sliced(3);
            if (!isWellFormedUtf8(piece))
                return false;
            chooser.add(piece);
        }
        chooser.finish();
        if (groupList) {
            *groupList = groupListText(tally);
            result.bytes.clear();
            result.channels = scanner.channels();
        } else {
            ByteLineSink sink(result.bytes, streamed ? 0 : chosen.size() + chosen.size() / 8 + 4096,
                              encoding, target.lineEnd());
            streamInto(sink, streamed);
            Utf8Source text(target, chosen);
            const ConversionCounts counts = runConversion(target, text, sink, source);
            sink.finish();
            result.channels = counts.channels;
            result.entries = counts.entries;
            result.streamed = sink.drained();
        }
        return true;
    };

    Result result;
    PieceBuffer buffer;
    if (chooseFrom(
            reader.sizeHint(), [&] { return reader.next(buffer); }, result)) {
        result.nulOffset = reader.nulOffset();
    } else {
        reader.rewind();
        Result lines =
            convertInput(reader, ansi, formatFor(TTargetKind::tkM3U), TEncoding::UTF8(), source);
        bool given = false;
        chooseFrom(
            lines.bytes.size(),
            [&] {
                // The whole text, once.
                const QByteArrayView all = given ? QByteArrayView() : QByteArrayView(lines.bytes);
                given = true;
                return all;
            },
            result);
        result.nulOffset = lines.nulOffset;
    }
    result.inputSize = reader.size();
    return result;
}

// Every second byte zero at the start: UTF-16 text without its mark.
bool looksLikeUtf16(const QByteArray& head) {
    if (head.size() < 2)
        return false;
    bool evenZero = true, oddZero = true;
    for (qsizetype k = 0; k + 1 < head.size(); k += 2) {
        evenZero = evenZero && head[k] == 0;
        oddZero = oddZero && head[k + 1] == 0;
    }
    return evenZero || oddZero;
}

// "191 B", "640.0 kB", "12.3 MB": a size for the progress line.
QString sizeText(qint64 bytes) {
    if (bytes < 10000)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1000000)
        return QString::number(static_cast<double>(bytes) / 1e3, 'f', 1) + QStringLiteral(" kB");
    return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

// Downloads the address, drawing a progress line on standard error when it
// is a terminal and -q is not given (in a log it would be noise).
QByteArray downloadInput(const QUrl& url, const Options& options) {
    // The downloader runs on an event loop, which needs the application
    // object; only a download needs it.
    static int argc = 1;
    static char name[] = "dorvane-convert";
    static char* argv[] = {name, nullptr};
    std::optional<QCoreApplication> application;
    if (!QCoreApplication::instance())
        application.emplace(argc, argv);

    DownloadLimits limits;
    limits.stallTimeout = options.timeout;
    const bool drawProgress = !options.quiet && ::isatty(STDERR_FILENO);
    bool drawn = false;
    auto progress = [&](qint64 received, qint64 total) {
        QString line = total > 0 ? QStringLiteral("\rDownloading: %1 of %2 (%3%)")
                                       .arg(sizeText(received), sizeText(total))
                                       .arg(received * 100 / total)
                                 : QStringLiteral("\rDownloading: %1").arg(sizeText(received));
        printTo(stderr, line + QStringLiteral("\x1b[K"));
        drawn = true;
    };
    struct Eraser {
        const bool& drawn;
        ~Eraser() {
            if (drawn)
                printTo(stderr, QStringLiteral("\r\x1b[K"));
        }
    } eraser{drawn};
    if (drawProgress)
        return downloadWholeFromModule(url, limits, progress);
    return downloadWholeFromModule(url, limits);
}

// The login --provider names. The password never comes from the command
// line, where every user of the machine could read it.
ProviderLogin providerLogin(const Options& options) {
    ProviderLogin login;
    login.server = providerServer(options.provider);
    login.user = options.user;
    if (!options.passwordFile.isEmpty()) {
        QFile file(options.passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                                  .arg(expandFileName(options.passwordFile), file.errorString()));
        QByteArray line = file.readLine(64 * 1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        login.password = QString::fromUtf8(line);
    } else {
        login.password = qEnvironmentVariable("DORVANE_PASSWORD");
    }
    if (login.password.isEmpty())
        throw EFOpenError(QStringLiteral("No password for \"%1\": give --password-file FILE or "
                                         "set DORVANE_PASSWORD")
                              .arg(serverText(login.server)));
    login.live = !options.noLive;
    login.movies = options.movies;
    login.streamFormat = options.streamFormat;
    return login;
}

// The playlist of the provider's interface, or of a get.php address that
// falls back to it (`fellBack` then true); every request through the
// download module.
QByteArray readProviderInput(const Options& options, const ProviderLogin& login,
                             const QUrl& getAddress, bool& fellBack) {
    // One application object for all the requests, not one each.
    static int argc = 1;
    static char name[] = "dorvane-convert";
    static char* argv[] = {name, nullptr};
    std::optional<QCoreApplication> application;
    if (!QCoreApplication::instance())
        application.emplace(argc, argv);
    const auto fetch = [&](const QUrl& url) { return downloadInput(url, options); };
    fellBack = true;
    if (getAddress.isEmpty())
        return readProviderPlaylist(login, fetch);
    QByteArray bytes = readGetAddress(getAddress, login, fetch, fellBack);
    if (fellBack && !options.quiet)
        printMessage(QStringLiteral("\"%1\" gave no playlist: read through the provider's "
                                    "interface instead")
                         .arg(maskedAddress(getAddress)));
    return bytes;
}

int convert(const Options& options) {
    if (options.output.isEmpty())
        checkStandardOutput();
    const TEncoding& ansi =
        options.codePage ? *TEncoding::ansi(options.codePage) : TEncoding::Default();
    // --list-groups converts nothing; a converting target lists only the
    // channels as the chosen lines are scanned for their count.
    const bool listGroups = options.action == Action::ListGroups;
    const TargetFormat& target = listGroups ? formatFor(TTargetKind::tkWizardHD) : *options.target;
    const TEncoding& encoding = target.fileEncoding(options.ansi, ansi);

    // An address is downloaded whole, then read as bytes in memory, the way
    // standard input's are.
    const bool provider = !options.provider.isEmpty();
    const bool web = provider || looksLikeAddress(options.input);
    QUrl url;
    std::optional<InputReader> downloaded;
    std::optional<SourceName> providerName; // when the interface was read
    if (web) {
        try {
            std::optional<ProviderLogin> login;
            if (provider) {
                login = providerLogin(options);
            } else {
                url = parseWebAddress(options.input);
                login = loginOfGetAddress(url);
            }
            if (login) {
                // The provider's playlist is read as a download's bytes are.
                bool fellBack = false;
                downloaded.emplace(readProviderInput(options, *login, url, fellBack),
                                   QStringLiteral("Cannot open URL \"%1\"")
                                       .arg(maskedAddress(provider ? login->server : url)));
                if (provider)
                    url = login->server;
                if (fellBack)
                    providerName = SourceName::ofServer(login->server);
            } else {
                downloaded.emplace(
                    downloadInput(url, options),
                    QStringLiteral("Cannot open URL \"%1\"").arg(maskedAddress(url)));
            }
        } catch (const Exception& error) {
            printMessage(error.Message());
            return kFileError;
        }
    }
    const SourceName source = providerName              ? *providerName
                              : web                     ? SourceName::ofAddress(url)
                              : options.input.isEmpty() ? SourceName()
                                                        : SourceName::ofFile(options.input);

    // The input is opened once and read as whatever it is: reopening a FIFO
    // would wait for a writer that may be gone.
    int fd = STDIN_FILENO;
    QString failure = QStringLiteral("Cannot read standard input");
    if (!options.input.isEmpty() && !web) {
        fd = ::open(encodeFileName(options.input).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw EFOpenError(cannotOpenMessage(options.input, errno));
        failure = QStringLiteral("Cannot open file \"%1\"").arg(expandFileName(options.input));
    }
    // Standard input, and a download's memory, are not ours to close.
    const platform::FileCloser closer(options.input.isEmpty() || web ? -1 : fd);
    std::optional<InputReader> opened;
    if (!web)
        opened.emplace(fd, failure);
    InputReader& reader = web ? *downloaded : *opened;
    QByteArray groups;
    const bool choosing = listGroups || !options.filter.choosesAll();
    // The output goes out while it is made, into a regular file or a spool
    // (StreamedOutput); what a run that fails or finds no channels wrote is
    // taken back.
    std::unique_ptr<StreamedOutput> streamed;
    if (!listGroups && !target.fillsInHeader())
        streamed = StreamedOutput::open(options.output, web ? -1 : fd);
    const auto run = [&](StreamedOutput* out) {
        return choosing ? convertChosen(reader, options.filter, ansi, target, encoding, source,
                                        listGroups ? &groups : nullptr, out)
                        : convertInput(reader, ansi, target, encoding, source, out);
    };
    Result result;
    try {
        result = run(streamed.get());
    } catch (const StreamedOutput::SpoolFailed&) {
        // No room for a temporary file of the output: held whole instead.
        streamed.reset();
        reader.rewind();
        result = run(nullptr);
    }

    if (result.nulOffset >= 0 && result.nulOffset + 1 < result.inputSize)
        printMessage(
            QStringLiteral("text after a NUL byte at offset %1 was ignored").arg(result.nulOffset));
    if (result.channels == 0 && web) {
        printMessage(noChannelsAtUrlText(url));
        return kNoChannels;
    }
    if (result.channels == 0) {
        QString message =
            QStringLiteral("No channels found in %1")
                .arg(options.input.isEmpty() ? QStringLiteral("standard input") : options.input);
        if (looksLikeUtf16(reader.head()))
            message += QStringLiteral(" (it looks like UTF-16 without a byte-order mark)");
        printMessage(message);
        return kNoChannels;
    }

    const QByteArray& output = listGroups ? groups : result.bytes;
    if (result.streamed)
        streamed->commit();
    else
        writeOutput(options.output, output);
    if (listGroups)
        return kDone;

    // A warning, not an error: the output is what the window's Save writes
    // in that code page. --quiet silences the summary only.
    if (result.replaced > 0)
        printMessage(QStringLiteral("%1 characters could not be written in code page %2 and were "
                                    "replaced")
                         .arg(result.replaced)
                         .arg(encoding.CodePage()));
    if (!options.quiet)
        printMessage(QStringLiteral("%1, %2, %3")
                         .arg(countText(result.channels, u"channel", u"channels"),
                              countText(result.entries, u"entry", u"entries"), target.cliName()));
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
    // What Qt has to say goes the same way as the program's own messages.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        printMessage(message);
    });
    Options options;
    try {
        options = parseArguments(argc, argv);
    } catch (const UsageError& error) {
        printMessage(QStringLiteral("%1 (see \"dorvane-convert --help\")").arg(error.message));
        return kUsageError;
    }

    switch (options.action) {
    case Action::Help:
        return printInformation(QString::fromLatin1(kUsage) + QString::fromLatin1(kHelp));
    case Action::Version:
        return printInformation(QStringLiteral("dorvane-convert " DORVANE_VERSION "\n"));
    case Action::ListTargets:
        return printInformation(targetList());
    case Action::Convert:
    case Action::ListGroups:
        break;
    }

    try {
        return convert(options);
    } catch (const Exception& error) {
        printMessage(error.Message());
    } catch (const std::bad_alloc&) {
        printMessage(QStringLiteral("Out of memory"));
    } catch (const std::exception& error) { // a thread the system would not start
        printMessage(QString::fromLocal8Bit(error.what()));
    }
    return kFileError;
}

} // namespace dorvane
