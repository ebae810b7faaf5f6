#include "cli/ConvertCommand.h"

#include "cli/DownloadModule.h"
#include "cli/GuideRun.h"
#include "cli/ScanAhead.h"
#include "cli/StreamedOutput.h"
#include "convert/ByteConversion.h"
#include "convert/ByteLineSink.h"
#include "convert/Choice.h"
#include "convert/Conversion.h"
#include "convert/LineSink.h"
#include "convert/Recipe.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/AnsiCodePage.h"
#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/FileName.h"
#include "playlist/InputReader.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/Platform.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"
#include "playlist/WebAddress.h"
#include "source/Intake.h"
#include "source/PlaylistReader.h"
#include "source/provider/ProviderLogin.h"
#include "source/provider/ProviderPlaylist.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

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
#include <unordered_map>
#include <vector>

#ifndef DORVANE_VERSION
#define DORVANE_VERSION "unknown"
#endif

namespace dorvane {

namespace {

enum ExitStatus { kDone = 0, kFileError = 1, kUsageError = 2, kNoChannels = 3 };

constexpr char kProgram[] = "dorvane-convert";

constexpr char kUsage[] =
    "Usage: dorvane-convert --to TARGET [--ansi | --no-bom] [--codepage N] [-o FILE]\n"
    "                       [-q] [--timeout SECONDS] [CHOICE] [INPUT]\n"
    "       dorvane-convert --to TARGET --provider SERVER --user NAME\n"
    "                       [--password-file FILE] [--movies] [--no-live]\n"
    "                       [--stream-format ts|m3u8] [options] [CHOICE]\n"
    "       dorvane-convert --list-groups [--codepage N] [-o FILE] [CHOICE] [INPUT]\n"
    "       dorvane-convert --recipe FILE [--to TARGET] [-o FILE] [-q] [CHOICE] [INPUT]\n"
    "       dorvane-convert --save-recipe FILE [--to TARGET] [-o FILE] [CHOICE] INPUT\n"
    "       dorvane-convert --list-targets | --list-formats | --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "Converts an M3U playlist into the list format TARGET and writes exactly the\n"
    "bytes the window's Save writes.\n"
    "\n"
    "  -t, --to=TARGET the target format, one of those --list-targets shows\n"
    "  --ansi          write in the ANSI code page, without a byte-order mark,\n"
    "                  instead of UTF-8 with one (not for the targets that are\n"
    "                  always written in UTF-8)\n"
    "  --no-bom        write UTF-8 without the byte-order mark (EF BB BF) that\n"
    "                  the target's files otherwise start with\n"
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
    "                  give up a download after this long without a byte, 1 to\n"
    "                  31536000 (default 30)\n"
    "  --input-encoding NAME\n"
    "                  read INPUT in NAME: UTF-8, UTF-16LE, UTF-16BE, 1250-1258,\n"
    "                  866, KOI8-R, KOI8-U or ISO-8859-5; by default UTF-8, else\n"
    "                  the code page (see --codepage)\n"
    "  --from NAME     read INPUT as the format of the target NAME (see\n"
    "                  --list-formats); by default its content tells\n"
    "  INPUT           the playlist: a file, a file://, http:// or https:// address,\n"
    "                  or standard input when absent or \"-\"; in any format a\n"
    "                  target writes; a provider's\n"
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
    "  --recipe FILE   run the recipe FILE (a .dorvane file): its source, choice,\n"
    "                  names, order, target, encoding and output; the options\n"
    "                  given replace the recipe's own, and any CHOICE its whole\n"
    "                  choice. Unless -q, says how many channels are new and gone\n"
    "                  since the M3U file it replaces\n"
    "  --save-recipe FILE\n"
    "                  instead of converting, write the recipe of this command\n"
    "                  line (INPUT, CHOICE, target, encoding, output) into FILE\n"
    "  --guide FILE|URL\n"
    "                  a programme guide (XMLTV, .xml, .xml.gz or .xml.xz), besides\n"
    "                  those the playlist names (url-tvg); may be repeated\n"
    "  --guide-out FILE\n"
    "                  write the guides cut to the chosen channels into FILE (.xml,\n"
    "                  or .xml.gz packed), their times shifted by tvg-shift\n"
    "  --guide-partial-ok\n"
    "                  a guide cut short is no failure: what came before is kept\n"
    "  --verbose       name the channels the guide has nothing for\n"
    "  --list-groups   instead of converting, list the groups of the chosen\n"
    "                  channels: the channels with an address, a tab, the name\n"
    "  --list-targets  list the targets with their captions in the window\n"
    "  --list-formats  list the formats INPUT may be in, with the reader of each\n"
    "  -h, --help      show this text\n"
    "  --version       show the version\n"
    "\n"
    "Messages and the summary go to standard error. With --ansi, characters the\n"
    "code page lacks are written as a substitute, and a warning says how many.\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 wrong usage or\n"
    "a recipe that cannot be read, 3 no channels in INPUT (or none chosen).\n";

enum class Action { Convert, Help, Version, ListTargets, ListFormats, ListGroups };

struct Options {
    Action action = Action::Convert;
    const TargetFormat* target = nullptr;
    const PlaylistReader* from = nullptr;         // nullptr: the content tells
    const InputEncoding* inputEncoding = nullptr; // nullptr: the usual rules
    bool ansi = false;
    bool noBom = false; // UTF-8 without EF BB BF, for the targets that write it
    bool quiet = false;
    int codePage = 0;                         // 0: the locale's
    QString output;                           // empty: standard output
    QString input;                            // empty: standard input
    bool emptyInput = false;                  // INPUT given as "": no file has that name
    std::chrono::milliseconds timeout{30000}; // a download's stall limit
    ChannelFilter filter;
    QString recipe;           // --recipe: the recipe to run
    QString saveRecipe;       // --save-recipe: where to write the recipe instead
    bool inputGiven = false;  // INPUT given, even "-"
    bool outputGiven = false; // -o given, even "-"
    // --provider: the interface's login instead of INPUT.
    QString provider, user, passwordFile;
    bool movies = false, noLive = false;
    StreamFormat streamFormat = StreamFormat::Auto;
    // The programme guide: --guide, --guide-out, --guide-partial-ok, --verbose.
    QStringList guides;
    QString guideOut;
    bool guidePartialOk = false;
    bool verbose = false;
};

struct UsageError {
    QString message;
    QString hint = QStringLiteral("see \"dorvane-convert --help\"");
};

// The longest stall --timeout allows: a year.
constexpr qint64 kMaxTimeoutSeconds = 365 * 24 * 3600;

// A number of the command line: decimal digits only, from `low` to `high`;
// nothing otherwise. toLongLong would take spaces, a sign and, past what a
// qint64 holds, fail only by a flag easily overlooked.
std::optional<qint64> wholeNumber(const QString& value, qint64 low, qint64 high) {
    if (value.isEmpty() || value.size() > 18 ||
        !std::all_of(value.begin(), value.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const qint64 number = value.toLongLong();
    if (number < low || number > high)
        return std::nullopt;
    return number;
}

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
// Whatever it quotes (a name, an address, the system's or Qt's words), a
// message is one line and sends the terminal nothing but text.
void printMessage(const QString& text) {
    printTo(stderr, QStringLiteral("%1: %2\n").arg(QLatin1String(kProgram), visibleText(text)));
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

// What each option does to the options: `value` is the value it was given
// (empty for an option without one). Throws UsageError for a value it
// cannot take.
using OptionAction = void (*)(Options& options, const QString& value);

struct OptionRule {
    QCommandLineOption option;
    OptionAction take;
};

// A number of the command line's, checked where it is taken.
qint64 numberOption(const QString& value, qint64 low, qint64 high, const QString& refusal) {
    const std::optional<qint64> number = wholeNumber(value, low, high);
    if (!number)
        throw UsageError{refusal};
    return *number;
}

// Every option, with the names it goes by ("t" for -t, "to" for --to) and,
// for one that takes a value, the name of the value.
const std::vector<OptionRule>& optionRules() {
    static const std::vector<OptionRule> rules = [] {
        const auto valued = [](std::initializer_list<const char*> names, const char* valueName,
                               OptionAction take) {
            QStringList list;
            for (const char* name : names)
                list.append(QString::fromLatin1(name));
            return OptionRule{QCommandLineOption(list, QString(), QString::fromLatin1(valueName)),
                              take};
        };
        // No value's name: an option that takes none.
        const auto flag = [&](std::initializer_list<const char*> names, OptionAction take) {
            return valued(names, "", take);
        };
        return std::vector<OptionRule>{
            valued({"t", "to"}, "TARGET",
                   [](Options& o, const QString& name) {
                       o.target = formatByCliName(name);
                       if (!o.target)
                           throw UsageError{
                               QStringLiteral("unknown target \"%1\"").arg(visibleText(name)),
                               QStringLiteral("see --list-targets")};
                   }),
            valued({"from"}, "NAME",
                   [](Options& o, const QString& name) {
                       o.from = readerByFormat(name);
                       if (!o.from)
                           throw UsageError{
                               QStringLiteral("unknown format \"%1\"").arg(visibleText(name)),
                               QStringLiteral("see --list-formats")};
                   }),
            valued(
                {"input-encoding"}, "NAME",
                [](Options& o, const QString& name) {
                    o.inputEncoding = inputEncodingByName(name);
                    if (!o.inputEncoding)
                        throw UsageError{
                            QStringLiteral("unknown input encoding \"%1\"").arg(visibleText(name))};
                }),
            flag({"ansi"}, [](Options& o, const QString&) { o.ansi = true; }),
            flag({"no-bom"}, [](Options& o, const QString&) { o.noBom = true; }),
            flag({"q", "quiet"}, [](Options& o, const QString&) { o.quiet = true; }),
            valued({"codepage"}, "N",
                   [](Options& o, const QString& value) {
                       const QString refusal =
                           QStringLiteral("unsupported code page \"%1\"").arg(visibleText(value));
                       const auto codePage =
                           static_cast<int>(numberOption(value, 1, 65535, refusal));
                       if (!isSupportedAnsiCodePage(codePage))
                           throw UsageError{refusal};
                       o.codePage = codePage;
                   }),
            valued({"timeout"}, "SECONDS",
                   [](Options& o, const QString& value) {
                       o.timeout = std::chrono::seconds(numberOption(
                           value, 1, kMaxTimeoutSeconds,
                           QStringLiteral("invalid timeout \"%1\": whole seconds from 1 to %2")
                               .arg(visibleText(value))
                               .arg(kMaxTimeoutSeconds)));
                   }),
            valued({"o", "output"}, "FILE",
                   [](Options& o, const QString& file) {
                       o.outputGiven = true;
                       if (file.isEmpty())
                           throw UsageError{QStringLiteral("-o needs a file name")};
                       // As for INPUT: standard output; "./-" is the file.
                       o.output = file == u"-" ? QString() : file;
                   }),
            valued({"group"}, "NAME",
                   [](Options& o, const QString& name) { o.filter.groups.append(name); }),
            valued({"exclude-group"}, "NAME",
                   [](Options& o, const QString& name) { o.filter.excludedGroups.append(name); }),
            valued({"match"}, "TEXT",
                   [](Options& o, const QString& text) { o.filter.match = text; }),
            flag({"dedupe"}, [](Options& o, const QString&) { o.filter.onePerAddress = true; }),
            valued({"recipe"}, "FILE", [](Options& o, const QString& file) { o.recipe = file; }),
            valued({"save-recipe"}, "FILE",
                   [](Options& o, const QString& file) { o.saveRecipe = file; }),
            valued({"provider"}, "SERVER",
                   [](Options& o, const QString& server) { o.provider = server; }),
            valued({"user"}, "NAME", [](Options& o, const QString& name) { o.user = name; }),
            valued({"password-file"}, "FILE",
                   [](Options& o, const QString& file) { o.passwordFile = file; }),
            flag({"movies"}, [](Options& o, const QString&) { o.movies = true; }),
            flag({"no-live"}, [](Options& o, const QString&) { o.noLive = true; }),
            valued(
                {"stream-format"}, "FORMAT",
                [](Options& o, const QString& value) {
                    if (value == u"ts")
                        o.streamFormat = StreamFormat::Ts;
                    else if (value == u"m3u8")
                        o.streamFormat = StreamFormat::M3u8;
                    else
                        throw UsageError{
                            QStringLiteral("--stream-format is ts or m3u8, not \"%1\"").arg(value)};
                }),
            valued({"guide"}, "FILE|URL",
                   [](Options& o, const QString& guide) { o.guides.append(guide); }),
            valued({"guide-out"}, "FILE",
                   [](Options& o, const QString& file) {
                       if (file.isEmpty())
                           throw UsageError{QStringLiteral("--guide-out needs a file name")};
                       o.guideOut = file;
                   }),
            flag({"guide-partial-ok"}, [](Options& o, const QString&) { o.guidePartialOk = true; }),
            flag({"verbose"}, [](Options& o, const QString&) { o.verbose = true; }),
            flag({"list-groups"},
                 [](Options& o, const QString&) { o.action = Action::ListGroups; }),
            flag({"list-targets"},
                 [](Options& o, const QString&) { o.action = Action::ListTargets; }),
            flag({"list-formats"},
                 [](Options& o, const QString&) { o.action = Action::ListFormats; }),
            flag({"h", "help"}, [](Options& o, const QString&) { o.action = Action::Help; }),
            flag({"version"}, [](Options& o, const QString&) { o.action = Action::Version; }),
        };
    }();
    return rules;
}

const OptionRule* ruleNamed(QStringView name) {
    for (const OptionRule& rule : optionRules())
        if (rule.option.names().contains(name))
            return &rule;
    return nullptr;
}

bool takesValue(const OptionRule* rule) {
    return rule && !rule->option.valueName().isEmpty();
}

// The option an argument names by itself: "--to", "-t"; nullptr for any other.
const OptionRule* optionWritten(const QString& arg) {
    if (arg.startsWith(u"--"))
        return ruleNamed(QStringView(arg).sliced(2));
    if (arg.size() == 2 && arg[0] == u'-')
        return ruleNamed(QStringView(arg).sliced(1));
    return nullptr;
}

// Qt's parser tells what was wrong, not in which argument: the argument is
// found again, so that the message quotes it as it was written.
UsageError parseError(const QCommandLineParser& parser, const QStringList& args) {
    const auto unknown = [](const QString& arg) {
        return UsageError{QStringLiteral("unknown option \"%1\"").arg(visibleText(arg))};
    };
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        const QString written = QStringLiteral("--") + name;
        for (const QString& arg : args) {
            if (arg == u"--")
                break;
            if (arg == written || arg.startsWith(written + u'='))
                return unknown(arg);
            // "-abc" is -a, -b and -c, up to the first that takes the rest
            // as its value.
            if (name.size() == 1 && arg.size() > 1 && arg[0] == u'-' && arg[1] != u'-') {
                for (qsizetype k = 1; k < arg.size(); ++k) {
                    if (arg[k] == name[0])
                        return unknown(arg);
                    if (takesValue(ruleNamed(arg.sliced(k, 1))))
                        break;
                }
            }
        }
        return unknown(name);
    }
    // A value can be missing only at the very end.
    if (!args.isEmpty() && takesValue(optionWritten(args.last())))
        return UsageError{QStringLiteral("%1 needs a value").arg(args.last())};
    // Else a value given to an option that takes none: "--quiet=yes".
    for (const QString& arg : args)
        if (arg.startsWith(u"--") && arg.contains(u'='))
            if (const OptionRule* rule = ruleNamed(arg.sliced(2).section(u'=', 0, 0));
                rule && !takesValue(rule))
                return unknown(arg);
    return UsageError{parser.errorText()};
}

Options parseArguments(int argc, char** argv) {
    QStringList args;
    for (int k = 1; k < argc; ++k)
        args.append(decodeFileName(argv[k])); // a file name keeps its bytes
    QCommandLineParser parser;
    for (const OptionRule& rule : optionRules())
        parser.addOption(rule.option);
    // parse() wants the program's name first.
    if (!parser.parse(QStringList{QLatin1String(kProgram)} + args))
        throw parseError(parser, args);

    Options options;
    // In the order given, so that a later option overrides an earlier one and
    // the first wrong value is the one refused.
    std::unordered_map<const OptionRule*, qsizetype> taken;
    for (const QString& name : parser.optionNames()) {
        const OptionRule* rule = ruleNamed(name);
        const QString value =
            takesValue(rule) ? parser.values(rule->option).value(taken[rule]++) : QString();
        rule->take(options, value);
    }

    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() > 1)
        throw UsageError{QStringLiteral("only one INPUT may be given")};
    if (!inputs.isEmpty()) {
        options.inputGiven = true;
        options.emptyInput = inputs.first().isEmpty();
        // "-" is standard input, unless it follows "--": then it is a file.
        const qsizetype end = args.indexOf(QStringLiteral("--"));
        const bool afterEnd = end >= 0 && args.lastIndexOf(QStringLiteral("-")) > end &&
                              !(end > 0 && takesValue(optionWritten(args[end - 1])));
        options.input = inputs.first() == u"-" && !afterEnd ? QString() : inputs.first();
    }
    if (!options.provider.isEmpty()) {
        if (options.inputGiven)
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
    // A recipe's run checks its target once it has read the recipe.
    const bool recipe = !options.recipe.isEmpty() || !options.saveRecipe.isEmpty();
    if (!options.guides.isEmpty() && options.guideOut.isEmpty() && !recipe)
        throw UsageError{QStringLiteral("--guide needs --guide-out FILE")};
    if (recipe && options.action == Action::ListGroups)
        throw UsageError{QStringLiteral("--list-groups cannot be used with a recipe")};
    if (options.action == Action::Convert && !options.target && !recipe)
        throw UsageError{QStringLiteral("--to TARGET is required")};
    if (options.action == Action::Convert && options.target && options.ansi &&
        !options.target->allowsAnsi())
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

// The way of UTF-16 lines, for input in a code page or in UTF-16: the
// lines' entries encoded into the output's bytes as they are written.
template <typename Source>
Result runIntoBytes(const TargetFormat& target, const TEncoding& encoding, bool mark,
                    const SourceName& name, qsizetype inputSize, Source& source) {
    Result result{target.preamble(encoding, mark)};
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
// way after all; without, it is held whole. Input in a code page
// (Mode::CodePage, `codePage`) takes this way too, decoded into UTF-8.
std::optional<Result> convertUtf8(InputReader& reader, const TargetFormat& target,
                                  const TEncoding& encoding, bool mark, const SourceName& name,
                                  ScanAhead::Mode mode, ScanAhead::Verdict& verdict,
                                  StreamedOutput* streamed,
                                  const TAnsiEncoding* codePage = nullptr) {
    const qsizetype size = reader.sizeHint();
    Result result{target.preamble(encoding, mark)};
    ByteLineSink sink(result.bytes, streamed ? 0 : size + size / 8 + 4096, encoding,
                      target.lineEnd());
    streamInto(sink, streamed);
    ScanAhead scan(reader, target, mode, codePage);
    ScannedPieceSource source(scan);
    const ConversionCounts counts = runConversion(target, source, sink, name);
    verdict = scan.verdict();
    if (verdict != ScanAhead::Verdict::Utf8 && verdict != ScanAhead::Verdict::Unsure) {
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

// Input with a UTF-16 byte-order mark: rare, and read whole.
Result convertUtf16(InputReader& reader, const TEncoding& ansi, const TargetFormat& target,
                    const TEncoding& encoding, bool mark, const SourceName& name) {
    const QString text = decodeFileBytes(reader.rest(), TEncoding::UTF8(), ansi);
    TStringList lines;
    lines.setText(text);
    LineListSource source(target, lines);
    Result result = runIntoBytes(target, encoding, mark, name, text.size(), source);
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        result.nulOffset = 2 + 2 * qint64(nul); // after the mark, two bytes a unit
    return result;
}

// Whether the input, read again from its start, reads as UTF-8 with a few
// broken parts (Utf8Tally) as decodeFileBytes decides.
bool readsAsUtf8(InputReader& reader) {
    reader.rewind();
    Utf8Tally tally;
    PieceBuffer buffer;
    bool first = true;
    for (QByteArrayView piece; !(piece = reader.next(buffer)).isEmpty(); first = false) {
        // The preamble is no sequence of the text (decodeFileBytes).
        if (first && platform::startsWithUtf8Mark(piece))
            piece = piece.sliced(3);
        tally.add(piece);
    }
    return tally.readsAsUtf8();
}

// Reads the input as the window reads a file (decodeFileBytes with UTF-8 and
// `ansi`, then TStringList::setText) and converts it. UTF-8, the common
// case, is converted as it is read; input that proves not to be UTF-8 is
// read again in the code page, each piece decoded into UTF-8 and converted
// the same direct way while it is tallied (Utf8Tally, mostly by its bounds);
// should the tally at the end find the input mostly UTF-8, it is read a third
// time, as almost-UTF-8 (and when the bounds could not tell, it is tallied
// whole first). The text is the one decodeFileBytes gives, so the output is
// too. Code page first: tallying on the way costs that input nothing, where
// almost-UTF-8 (a stray byte here and there) pays for one conversion more.
Result convertInput(InputReader& reader, const TEncoding& ansi, const TargetFormat& target,
                    const TEncoding& encoding, bool mark, const SourceName& source,
                    StreamedOutput* streamed = nullptr) {
    ScanAhead::Verdict verdict = ScanAhead::Verdict::Utf8;
    std::optional<Result> result = convertUtf8(reader, target, encoding, mark, source,
                                               ScanAhead::Mode::Strict, verdict, streamed);
    if (!result) {
        reader.rewind();
        if (verdict == ScanAhead::Verdict::Utf16) {
            result = convertUtf16(reader, ansi, target, encoding, mark, source);
            result->inputSize = reader.size();
            return *result;
        }
        // Every code page is a TAnsiEncoding (TEncoding::ansi).
        result = convertUtf8(reader, target, encoding, mark, source, ScanAhead::Mode::CodePage,
                             verdict, streamed, &dynamic_cast<const TAnsiEncoding&>(ansi));
        if (result && verdict == ScanAhead::Verdict::Unsure && readsAsUtf8(reader)) {
            if (result->streamed)
                streamed->restart();
            result.reset();
        }
        if (!result) { // mostly UTF-8 after all
            reader.rewind();
            result = convertUtf8(reader, target, encoding, mark, source, ScanAhead::Mode::Repair,
                                 verdict, streamed);
        }
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
                     const TargetFormat& target, const TEncoding& encoding, bool mark,
                     const SourceName& source, QByteArray* groupList, StreamedOutput* streamed) {
    // Chooses from the pieces that `next` gives; false when one of them is
    // not UTF-8.
    const auto chooseFrom = [&](qsizetype sizeHint, auto next, Result& result) {
        GroupTally<QByteArrayView> tally;
        GroupTally<QByteArrayView>* groups = groupList ? &tally : nullptr;
        ByteScanner scanner(target); // --list-groups: only counts
        ScannedPiece scanned;
        result = Result{target.preamble(encoding, mark)};
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
            if (first && platform::startsWithUtf16Mark(piece))
                return false;
            if (first && platform::startsWithUtf8Mark(piece))
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
        Result lines = convertInput(reader, ansi, formatFor(TTargetKind::tkM3U), TEncoding::UTF8(),
                                    false, source);
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

// "191 B", "640.0 KiB", "12.3 MiB": a size for the progress line, counted
// in 1024s as the window counts.
QString sizeText(qint64 bytes) {
    if (bytes < 10 * 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QString::number(static_cast<double>(bytes) / 1024, 'f', 1) + QStringLiteral(" KiB");
    return QString::number(static_cast<double>(bytes) / (1024 * 1024), 'f', 1) +
           QStringLiteral(" MiB");
}

// Downloads the address, drawing a progress line on standard error when it
// is a terminal and -q is not given (in a log it would be noise): into
// `sink` as it comes when one is given (nothing is returned then), else
// whole.
QByteArray downloadInput(const QUrl& url, const Options& options, BodySink* sink = nullptr) {
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
        QString line = total > 0
                           ? QStringLiteral("\r%1: Downloading: %2 of %3 (%4%)")
                                 .arg(QLatin1String(kProgram), sizeText(received), sizeText(total))
                                 .arg(received * 100 / total)
                           : QStringLiteral("\r%1: Downloading: %2")
                                 .arg(QLatin1String(kProgram), sizeText(received));
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
    if (sink) {
        if (drawProgress)
            downloadIntoFromModule(url, limits, *sink, progress);
        else
            downloadIntoFromModule(url, limits, *sink);
        return {};
    }
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
            throw EFOpenError(QStringLiteral("%1. %2").arg(cannotOpenText(options.passwordFile),
                                                           file.errorString()));
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
    // The downloads' and the reader's buffers of a few megabytes are
    // freed and taken again for every piece and every answer.
    reuseFreedBlocks(8 * 1024 * 1024, 64 * 1024 * 1024);
    const auto fetch = [&](const QUrl& url, BodySink& sink) { downloadInput(url, options, &sink); };
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

int convert(Options options) {
    // A file:// INPUT is that file, read as any file is.
    if (looksLikeAddress(options.input))
        if (QString file = fileOfAddress(options.input); !file.isEmpty())
            options.input = std::move(file);
    if (options.output.isEmpty())
        checkStandardOutput();
    const TEncoding& ansi =
        options.codePage ? *TEncoding::ansi(options.codePage) : TEncoding::Default();
    // --list-groups converts nothing; a converting target lists only the
    // channels as the chosen lines are scanned for their count.
    const bool listGroups = options.action == Action::ListGroups;
    const TargetFormat& target = listGroups ? formatFor(TTargetKind::tkWizardHD) : *options.target;
    const TEncoding& encoding = target.fileEncoding(options.ansi, ansi);
    const bool mark = !options.noBom;

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
    const SourceName inputName = providerName              ? *providerName
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
        failure = cannotOpenText(options.input);
    }
    // Standard input, and a download's memory, are not ours to close.
    const platform::FileCloser closer(options.input.isEmpty() || web ? -1 : fd);
    std::optional<InputReader> opened;
    if (!web)
        opened.emplace(fd, failure);
    InputReader& input = web ? *downloaded : *opened;
    // A playlist in another format, or in an encoding named, goes on as the
    // M3U its reader makes, in UTF-8.
    const std::optional<TakenPlaylist> other =
        takeInput(input, options.from, ansi, options.inputEncoding);
    std::optional<InputReader> otherLines;
    if (other)
        otherLines.emplace(other->lines.Text().toUtf8(), failure);
    InputReader& reader = other ? *otherLines : input;
    const SourceName source =
        other && !other->name.isEmpty() ? SourceName::named(other->name) : inputName;
    QByteArray groups;
    const bool choosing = listGroups || !options.filter.choosesAll();
    // The output goes out while it is made, into a regular file or a spool
    // (StreamedOutput); what a run that fails or finds no channels wrote is
    // taken back.
    std::unique_ptr<StreamedOutput> streamed;
    if (!listGroups && !target.fillsInHeader())
        streamed = StreamedOutput::open(options.output, web ? -1 : fd);
    const auto run = [&](StreamedOutput* out) {
        return choosing ? convertChosen(reader, options.filter, ansi, target, encoding, mark,
                                        source, listGroups ? &groups : nullptr, out)
                        : convertInput(reader, ansi, target, encoding, mark, source, out);
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

    if (other) { // where the text ended is the input's, not its M3U's
        result.nulOffset = input.nulOffset();
        result.inputSize = input.size();
    }
    if (result.nulOffset >= 0 && result.nulOffset + 1 < result.inputSize)
        printMessage(
            QStringLiteral("text after a NUL byte at offset %1 was ignored").arg(result.nulOffset));
    // A choice that leaves nothing of a playlist with channels is told
    // apart from a playlist without any: the whole is counted again.
    if (result.channels == 0 && choosing) {
        reader.rewind();
        const int all = convertInput(reader, ansi, target, encoding, mark, source).channels;
        if (all > 0) {
            printMessage(QStringLiteral("The choice leaves no channel of the %1 in %2")
                             .arg(all)
                             .arg(web ? QStringLiteral("\"%1\"").arg(maskedAddress(url))
                                  : options.input.isEmpty() ? QStringLiteral("standard input")
                                                            : options.input));
            return kNoChannels;
        }
    }
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

// --recipe and --save-recipe ------------------------------------------------

// A provider's channels (the provider interface, with a login). The one
// place a provider source is to be read.
// A recipe without its password takes it from DORVANE_PASSWORD, as
// --provider does without --password-file.
TStringList readProviderSource(const RecipeSource& source, const Options& options,
                               SourceName& name) {
    ProviderLogin login;
    login.server = providerServer(source.server);
    login.user = source.user;
    login.password =
        source.password.isEmpty() ? qEnvironmentVariable("DORVANE_PASSWORD") : source.password;
    if (login.password.isEmpty())
        throw EFOpenError(QStringLiteral("No password for \"%1\": store it in the recipe or "
                                         "set DORVANE_PASSWORD")
                              .arg(serverText(login.server)));
    login.live = source.live;
    login.movies = source.movies;
    bool fellBack = false;
    const QByteArray bytes = readProviderInput(options, login, QUrl(), fellBack);
    name = SourceName::ofServer(login.server);
    return std::move(takeBytes(bytes).lines);
}

// The recipe's playlist, read as the window reads a file: the bytes decoded
// (decodeFileBytes, UTF-8 or `ansi`) and split into lines. `name` gets the
// playlist's name for the targets whose header names it. With INPUT "-",
// standard input instead of the recipe's source.
TStringList readRecipeSource(const RecipeSource& source, const Options& options,
                             const TEncoding& ansi, SourceName& name) {
    QByteArray bytes;
    if ((options.inputGiven || (options.recipe.isEmpty() && options.provider.isEmpty())) &&
        options.input.isEmpty()) {
        InputReader reader(STDIN_FILENO, QStringLiteral("Cannot read standard input"));
        PieceBuffer buffer;
        for (QByteArrayView piece; !(piece = reader.next(buffer)).isEmpty();)
            bytes.append(piece);
    } else {
        switch (source.kind) {
        case RecipeSource::Kind::File:
            bytes = readWholeFile(source.file);
            name = SourceName::ofFile(source.file);
            break;
        case RecipeSource::Kind::Url: {
            QUrl url;
            try {
                url = parseWebAddress(source.url);
            } catch (const Exception& error) {
                throw EReadError(error.Message());
            }
            bytes = downloadInput(url, options);
            name = SourceName::ofAddress(url);
            break;
        }
        case RecipeSource::Kind::Provider:
            return readProviderSource(source, options, name);
        }
    }
    TakenPlaylist taken = takeBytes(bytes, ansi, options.from);
    if (!taken.name.isEmpty())
        name = SourceName::named(taken.name);
    return std::move(taken.lines);
}

// The channels of the output file that a run replaces, read back as any
// playlist is, to tell which are new and which gone: nothing when there is
// none.
std::optional<TStringList> readFormerOutput(const QString& fileName, const TEncoding& ansi) {
    if (fileName.isEmpty())
        return std::nullopt;
    QByteArray bytes;
    try {
        bytes = readWholeFile(fileName);
    } catch (const Exception&) { // none, or not for reading: nothing to compare
        return std::nullopt;
    }
    return std::move(takeBytes(bytes, ansi).lines);
}

// A path given on the command line, for a recipe: whole, since the recipe
// file that holds it may lie in another folder.
QString wholePath(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

// The recipe of the command line: the recipe file's, if any, with what the
// options say in place of its own; any CHOICE replaces its whole choice.
// EReadError when the recipe file cannot be read.
Recipe commandLineRecipe(const Options& options) {
    Recipe recipe;
    if (!options.recipe.isEmpty())
        recipe = readRecipe(options.recipe);
    if (options.inputGiven && !options.input.isEmpty()) {
        recipe.source = RecipeSource();
        if (looksLikeAddress(options.input)) {
            recipe.source.kind = RecipeSource::Kind::Url;
            recipe.source.url = options.input;
        } else {
            recipe.source.file = wholePath(options.input);
        }
    }
    if (!options.filter.choosesAll()) {
        recipe.clearChoice();
        recipe.filter = options.filter;
    }
    if (options.target)
        recipe.target = options.target->cliName().toString();
    if (options.ansi)
        recipe.ansi = true;
    if (options.codePage)
        recipe.codePage = options.codePage;
    if (options.outputGiven)
        recipe.output = options.output.isEmpty() ? QString() : wholePath(options.output);
    if (!options.provider.isEmpty()) {
        // --provider, with --guide-out, takes this way: its login is the
        // source (and its guide the provider's).
        const ProviderLogin login = providerLogin(options);
        recipe.source = RecipeSource();
        recipe.source.kind = RecipeSource::Kind::Provider;
        recipe.source.server = options.provider;
        recipe.source.user = login.user;
        recipe.source.password = login.password;
        recipe.source.live = login.live;
        recipe.source.movies = login.movies;
    }
    for (const QString& guide : options.guides)
        recipe.guide.guides << (looksLikeAddress(guide) ? guide : wholePath(guide));
    if (!options.guideOut.isEmpty())
        recipe.guide.output = wholePath(options.guideOut);
    return recipe;
}

// The guide cut to the recipe's chosen channels, when it names a file for it.
GuideOutcome recipeGuide(const Recipe& recipe, const Options& options, TStringList& lines) {
    if (recipe.guide.output.isEmpty())
        return {};
    GuideRequest request;
    request.output = recipe.guide.output;
    request.partialOk = options.guidePartialOk;
    request.verbose = options.verbose;
    request.quiet = options.quiet;
    request.timeout = options.timeout;
    const RecipeSource& source = recipe.source;
    if (source.kind == RecipeSource::Kind::File && !source.file.isEmpty())
        request.playlistFolder = QFileInfo(source.file).absolutePath();
    if (source.kind == RecipeSource::Kind::Url) {
        request.playlistAddress = source.url;
        request.providerGuide = providerGuideAddress(source.url);
    } else if (source.kind == RecipeSource::Kind::Provider) {
        const QString password =
            source.password.isEmpty() ? qEnvironmentVariable("DORVANE_PASSWORD") : source.password;
        QUrl url(providerServer(source.server));
        url.setPath(url.path() + QStringLiteral("/xmltv.php"));
        url.setQuery(QStringLiteral("username=%1&password=%2")
                         .arg(QString::fromLatin1(QUrl::toPercentEncoding(source.user)),
                              QString::fromLatin1(QUrl::toPercentEncoding(password))));
        request.providerGuide = url.toString(QUrl::FullyEncoded);
    }
    return cutGuides(request, recipe.guide, lines, [](const QString& text) { printMessage(text); });
}

// An Enigma2 bouquet with a guide: its references made unique and kept in
// the recipe run, and the guide importer's files beside it.
QByteArray enigma2Guide(const Recipe& recipe, const Options& options, const TStringList& lines,
                        const GuideOutcome& guide, const QByteArray& bouquet) {
    GuideSettings settings = recipe.guide;
    const QString listName =
        QFileInfo(!options.recipe.isEmpty() ? options.recipe : recipe.output).completeBaseName();
    const QByteArray bytes =
        enigma2WithGuide(bouquet, recipe.output, listName, lines, guide, settings);
    if (!options.recipe.isEmpty()) {
        // Read again, so that only the ids change in it, not what the
        // command line said in place of its own.
        Recipe kept = readRecipe(options.recipe);
        if (kept.guide.serviceIds.size() != settings.serviceIds.size() ||
            !std::equal(settings.serviceIds.begin(), settings.serviceIds.end(),
                        kept.guide.serviceIds.begin(),
                        [](const GuideSettings::ServiceId& a, const GuideSettings::ServiceId& b) {
                            return a.ids == b.ids && a.channelId == b.channelId &&
                                   a.group == b.group && a.name == b.name;
                        })) {
            kept.guide.serviceIds = settings.serviceIds;
            writeRecipe(options.recipe, kept, !kept.source.password.isEmpty());
        }
    }
    return bytes;
}

int runRecipe(const Options& options) {
    Recipe recipe;
    try {
        recipe = commandLineRecipe(options);
    } catch (const Exception& error) {
        printMessage(error.Message());
        return kUsageError;
    }
    const auto usageError = [](const QString& message) {
        printMessage(QStringLiteral("%1 (see \"dorvane-convert --help\")").arg(message));
        return kUsageError;
    };
    const bool fromSource = !options.inputGiven || !options.input.isEmpty();
    if (!options.saveRecipe.isEmpty()) {
        if (options.recipe.isEmpty() && !options.inputGiven)
            return usageError(QStringLiteral("--save-recipe needs INPUT: a file or an address"));
        if (!fromSource)
            return usageError(QStringLiteral("a recipe cannot read standard input"));
        writeRecipe(options.saveRecipe, recipe, false);
        return kDone;
    }

    const TargetFormat* target = formatByCliName(recipe.target);
    if (!target)
        return usageError(QStringLiteral("--to TARGET is required: the recipe names none"));
    if (recipe.ansi && !target->allowsAnsi())
        return usageError(QStringLiteral("--ansi cannot be used with %1: that target is always "
                                         "written in UTF-8")
                              .arg(target->cliName()));
    // The output's folder is the user's to make: a mistyped one would
    // otherwise fill up quietly every night.
    if (recipe.output.isEmpty())
        checkStandardOutput();
    else if (!QFileInfo(QFileInfo(recipe.output).absolutePath()).isDir())
        throw EFCreateError(cannotCreateMessage(recipe.output, ENOENT));

    const TEncoding& ansi =
        recipe.codePage ? *TEncoding::ansi(recipe.codePage) : TEncoding::Default();
    const TEncoding& encoding = target->fileEncoding(recipe.ansi, ansi);
    SourceName name;
    const TStringList playlist = readRecipeSource(recipe.source, options, ansi, name);
    AppliedRecipe applied = applyRecipe(recipe, playlist);
    const GuideOutcome guide = recipeGuide(recipe, options, applied.lines);
    const bool guideWhole = guide.whole;
    const std::optional<TStringList> former = readFormerOutput(recipe.output, ansi);

    LineListSource source(*target, applied.lines);
    const Result result =
        runIntoBytes(*target, encoding, !options.noBom, name, applied.lines.textLength(), source);
    if (result.channels == 0) {
        printMessage(QStringLiteral("No channels chosen by the recipe"));
        return kNoChannels;
    }
    if (guide.ran && target->kind() == TTargetKind::tkEnigma2)
        writeOutput(recipe.output,
                    enigma2Guide(recipe, options, applied.lines, guide, result.bytes));
    else
        writeOutput(recipe.output, result.bytes);

    if (result.replaced > 0)
        printMessage(QStringLiteral("%1 characters could not be written in code page %2 and were "
                                    "replaced")
                         .arg(result.replaced)
                         .arg(encoding.CodePage()));
    if (options.quiet)
        return guideWhole ? kDone : kFileError;
    // Skipped, not an error: the provider dropped them.
    QStringList missing;
    if (applied.missingChannels > 0)
        missing << countText(applied.missingChannels, u"channel", u"channels");
    if (applied.missingGroups > 0)
        missing << countText(applied.missingGroups, u"group", u"groups");
    if (!missing.isEmpty())
        printMessage(QStringLiteral("%1 that the recipe names are no longer in the playlist")
                         .arg(missing.join(QStringLiteral(" and "))));
    QString summary =
        QStringLiteral("%1 written to %2")
            .arg(countText(result.channels, u"channel", u"channels"),
                 recipe.output.isEmpty() ? QStringLiteral("standard output") : recipe.output);
    if (former) {
        // The new file read back as the old one was: a target that keeps no
        // group or id loses them from both alike.
        const ChannelChanges changes =
            compareChannels(*former, takeBytes(result.bytes, ansi).lines);
        summary += QStringLiteral(" (new: %1, gone: %2)").arg(changes.added).arg(changes.gone);
    }
    printMessage(summary);
    return guideWhole ? kDone : kFileError;
}

// A line per target: its name, then what `second` says of it.
template <typename Second> QString listOfTargets(Second second) {
    QString text;
    for (const TargetFormat* format : allFormats()) {
        text += format->cliName().toString().leftJustified(12);
        text += second(*format);
        text += u'\n';
    }
    return text;
}

QString targetList() {
    return listOfTargets([](const TargetFormat& format) { return format.caption(); });
}

// Each name --from takes, with the reader that reads it.
QString formatList() {
    return listOfTargets(
        [](const TargetFormat& format) { return readerByFormat(format.cliName())->caption(); });
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
        printMessage(QStringLiteral("%1 (%2)").arg(error.message, error.hint));
        return kUsageError;
    }

    switch (options.action) {
    case Action::Help:
        return printInformation(QString::fromLatin1(kUsage) + QString::fromLatin1(kHelp));
    case Action::Version:
        return printInformation(QStringLiteral("dorvane-convert " DORVANE_VERSION "\n"));
    case Action::ListTargets:
        return printInformation(targetList());
    case Action::ListFormats:
        return printInformation(formatList());
    case Action::Convert:
    case Action::ListGroups:
        break;
    }

    // No file has an empty name; taken for standard input, "" in a script
    // (an unset variable) would wait on the terminal.
    if (options.emptyInput) {
        printMessage(cannotOpenMessage(QString(), ENOENT));
        return kFileError;
    }
    try {
        // A guide is cut to the channels of the list as it is written: that
        // way holds the list's lines.
        if (options.action == Action::Convert &&
            (!options.recipe.isEmpty() || !options.saveRecipe.isEmpty() ||
             !options.guideOut.isEmpty()))
            return runRecipe(options);
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
