#include "cli/ConvertCommand.h"

#include "cli/DownloadModule.h"
#include "cli/ScanAhead.h"
#include "cli/SendModule.h"
#include "cli/StreamedOutput.h"
#include "convert/ByteConversion.h"
#include "convert/ByteLineSink.h"
#include "convert/Choice.h"
#include "convert/Conversion.h"
#include "convert/LineSink.h"
#include "convert/Recipe.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "convert/guide/GuideRun.h"
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
#include "receiver/BouquetFolder.h"
#include "receiver/Send.h"
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

enum ExitStatus {
    kDone = 0,
    kFileError = 1,
    kUsageError = 2,
    kNoChannels = 3,
    kGone = 4,
    kNotSent = 5,
    kReloadFailed = 6
};

constexpr char kProgram[] = "dorvane-convert";

constexpr char kUsage[] =
    "Usage: dorvane-convert --to TARGET [--ansi | --bom | --no-bom] [--codepage N]\n"
    "                       [-o FILE] [-q] [--timeout SECONDS] [--max-time SECONDS]\n"
    "                       [CHOICE] [INPUT]\n"
    "       dorvane-convert --to TARGET --provider SERVER --user NAME\n"
    "                       [--password-file FILE] [--movies] [--no-live]\n"
    "                       [--stream-format ts|m3u8] [options] [CHOICE]\n"
    "       dorvane-convert --list-groups [--codepage N] [-o FILE] [CHOICE] [INPUT]\n"
    "       dorvane-convert --recipe FILE [--to TARGET] [-o FILE] [-q] [--verbose]\n"
    "                       [--accept-gone | --forget-gone] [CHOICE] [INPUT...]\n"
    "       dorvane-convert --save-recipe FILE [--to TARGET] [-o FILE] [CHOICE] INPUT...\n"
    "       dorvane-convert --save-recipe FILE --provider SERVER --user NAME\n"
    "                       [--store-password] [--password-file FILE] [options]\n"
    "       dorvane-convert [--recipe FILE] --send-to ADDRESS [--per-group]\n"
    "                       [--prefix NAME] [--box-password-file FILE] [--no-reload]\n"
    "                       [CHOICE] [INPUT]\n"
    "       dorvane-convert [--recipe FILE] [--to enigma2] --per-group [--prefix NAME]\n"
    "                       -o FOLDER [CHOICE] [INPUT]\n"
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
    "  --bom           write UTF-8 with a byte-order mark (EF BB BF) where the\n"
    "                  target's readers take one: M3U and M3U8 start without\n"
    "  --no-bom        write UTF-8 without the byte-order mark that the target's\n"
    "                  files otherwise start with\n"
    "  --enigma2-type TYPE\n"
    "                  the service type of an Enigma2 bouquet's streams: 4097\n"
    "                  (default), 5001 or 5002\n"
    "  --bouquet-name NAME\n"
    "                  the name of an Enigma2 bouquet (by default the playlist's)\n"
    "  --codepage N    the ANSI code page for this run (1250-1258, 874, 932, 936,\n"
    "                  949, 950): for --ansi and for reading input that is not\n"
    "                  UTF-8; by default the one of the locale (LC_ALL, LC_CTYPE,\n"
    "                  LANG)\n"
    "  -o, --output=FILE\n"
    "                  write to FILE, replacing it only once every byte is written;\n"
    "                  by default, and when FILE is \"-\", to standard output; with\n"
    "                  --per-group, the folder the bouquets are written into\n"
    "  -q, --quiet     print no summary of what was written, and no progress line\n"
    "                  while downloading\n"
    "  --timeout SECONDS\n"
    "                  give up a download after this long without a byte, 1 to\n"
    "                  31536000 (default 30)\n"
    "  --max-time SECONDS\n"
    "                  give up the downloads and the provider's answers once the\n"
    "                  run has taken this long, however fast the bytes come, 1 to\n"
    "                  31536000 (default none; 600 for a recipe's run)\n"
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
    "                  since the file it replaces (new: N, gone: M), and names\n"
    "                  the first of them with --verbose or on a terminal. Chosen\n"
    "                  groups and channels the recipe names that the playlist no\n"
    "                  longer has are named, and the run exits with 4\n"
    "  --accept-gone   with --recipe: exit with 0 even so, as the recipe's\n"
    "                  \"gone\": \"accept\" does\n"
    "  --forget-gone   with --recipe: drop from the recipe file what it says of\n"
    "                  groups and channels the playlist no longer has (they are\n"
    "                  otherwise kept, to apply again when they come back)\n"
    "  --verbose       with --recipe: name the new and gone channels; with\n"
    "                  --guide-out, the channels the guide has nothing for\n"
    "                  Several INPUTs (files or addresses) are its sources: their\n"
    "                  channels are read in order and joined\n"
    "  --save-recipe FILE\n"
    "                  instead of converting, write the recipe of this command\n"
    "                  line (INPUT or --provider, CHOICE, target, encoding,\n"
    "                  output) into FILE, and say so in one line\n"
    "  --store-password\n"
    "                  with --save-recipe: keep the provider's password (of\n"
    "                  --password-file or DORVANE_PASSWORD with --provider, else\n"
    "                  the one of the recipe read) in the recipe, which is then\n"
    "                  readable by its owner only\n"
    "  --send-to ADDRESS\n"
    "                  instead of writing the output, send Enigma2 bouquets to a\n"
    "                  receiver: ftp://USER@HOST[:PORT]/PATH/ or sftp://...\n"
    "                  (PATH by default /etc/enigma2/); its bouquets.tv lists them,\n"
    "                  its other bouquets are left alone, and its old files are\n"
    "                  copied into ~/.local/share/dorvane/backups/HOST/ first\n"
    "  --box-password-file FILE\n"
    "                  the receiver's password: the first line of FILE; by default\n"
    "                  the environment variable DORVANE_BOX_PASSWORD (SFTP may log\n"
    "                  in with the user's SSH key instead)\n"
    "  --box-accept-new-host-key\n"
    "                  SFTP: take a host key that ~/.ssh/known_hosts does not know,\n"
    "                  and add it there (one that differs is always refused)\n"
    "  --per-group     one bouquet per group, userbouquet.PREFIX_GROUP.tv, instead\n"
    "                  of one userbouquet.PREFIX.tv for all; without --send-to,\n"
    "                  written with their index bouquets.tv into the folder -o\n"
    "                  names (made when missing), as they are sent\n"
    "  --prefix NAME   the bouquets' files' prefix, [a-z0-9_]+ (default dorvane)\n"
    "  --reload-url URL\n"
    "                  the receiver's web interface, to reload its lists (default\n"
    "                  http://HOST/web/servicelistreload?mode=2)\n"
    "  --no-reload     do not ask the receiver to reload its lists\n"
    "  --guide FILE|URL\n"
    "                  a programme guide (XMLTV, .xml, .xml.gz or .xml.xz), besides\n"
    "                  those the playlist names (url-tvg); may be repeated\n"
    "  --guide-out FILE\n"
    "                  write the guides cut to the chosen channels into FILE (.xml,\n"
    "                  or .xml.gz packed), their times shifted by tvg-shift\n"
    "  --guide-partial-ok\n"
    "                  a guide cut short is no failure: what came before is kept\n"
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
    "a recipe that cannot be read, 3 no channels in INPUT (or none chosen), 4 the\n"
    "recipe's output written, but chosen groups or channels it names are gone, 5\n"
    "not sent (the receiver keeps its old lists), 6 sent but the reload failed.\n";

enum class Action { Convert, Help, Version, ListTargets, ListFormats, ListGroups };

struct Options {
    Action action = Action::Convert;
    const TargetFormat* target = nullptr;
    const PlaylistReader* from = nullptr;         // nullptr: the content tells
    const InputEncoding* inputEncoding = nullptr; // nullptr: the usual rules
    bool ansi = false;
    // UTF-8 with (--bom) or without (--no-bom) EF BB BF where the target may
    // have it; by default as the target writes it.
    std::optional<bool> byteOrderMark;
    int enigma2Type = 0; // --enigma2-type; 0: none given
    QString bouquetName; // --bouquet-name; empty: none given
    bool quiet = false;
    int codePage = 0;                         // 0: the locale's
    QString output;                           // empty: standard output
    QString input;                            // empty: standard input
    QStringList moreInputs;                   // a recipe's further sources, in order
    bool emptyInput = false;                  // INPUT given as "": no file has that name
    std::chrono::milliseconds timeout{30000}; // a download's stall limit
    // --max-time, and the moment the run's downloads end by it.
    std::optional<std::chrono::seconds> maxTime;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    ChannelFilter filter;
    QString recipe;             // --recipe: the recipe to run
    QString saveRecipe;         // --save-recipe: where to write the recipe instead
    bool acceptGone = false;    // --accept-gone: gone channels are no failure
    bool forgetGone = false;    // --forget-gone: the recipe file forgets them
    bool verbose = false;       // --verbose: the new and gone channels named
    bool storePassword = false; // --store-password: the recipe keeps it
    bool inputGiven = false;    // INPUT given, even "-"
    bool outputGiven = false;   // -o given, even "-"
    // --provider: the interface's login instead of INPUT.
    QString provider, user, passwordFile;
    bool movies = false, noLive = false;
    StreamFormat streamFormat = StreamFormat::Auto;
    // --send-to: the receiver, and how its bouquets are made.
    QString sendTo, boxPasswordFile, prefix, reloadUrl;
    bool acceptNewHostKey = false, perGroup = false, noReload = false;
    // The programme guide: --guide, --guide-out, --guide-partial-ok.
    QStringList guides;
    QString guideOut;
    bool guidePartialOk = false;
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
            flag({"bom"}, [](Options& o, const QString&) { o.byteOrderMark = true; }),
            valued({"enigma2-type"}, "TYPE",
                   [](Options& o, const QString& value) {
                       const int type = value.toInt();
                       if (!TargetOptions::isEnigma2Type(type))
                           throw UsageError{
                               QStringLiteral("invalid Enigma2 service type \"%1\": 4097, 5001 "
                                              "or 5002")
                                   .arg(visibleText(value))};
                       o.enigma2Type = type;
                   }),
            valued({"bouquet-name"}, "NAME",
                   [](Options& o, const QString& name) {
                       if (name.isEmpty())
                           throw UsageError{QStringLiteral("--bouquet-name needs a name")};
                       o.bouquetName = name;
                   }),
            flag({"no-bom"}, [](Options& o, const QString&) { o.byteOrderMark = false; }),
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
            valued({"max-time"}, "SECONDS",
                   [](Options& o, const QString& value) {
                       o.maxTime = std::chrono::seconds(numberOption(
                           value, 1, kMaxTimeoutSeconds,
                           QStringLiteral("invalid --max-time \"%1\": whole seconds from 1 to %2")
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
            flag({"accept-gone"}, [](Options& o, const QString&) { o.acceptGone = true; }),
            flag({"forget-gone"}, [](Options& o, const QString&) { o.forgetGone = true; }),
            flag({"verbose"}, [](Options& o, const QString&) { o.verbose = true; }),
            flag({"store-password"}, [](Options& o, const QString&) { o.storePassword = true; }),
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
            valued({"send-to"}, "ADDRESS",
                   [](Options& o, const QString& address) { o.sendTo = address; }),
            valued({"box-password-file"}, "FILE",
                   [](Options& o, const QString& file) { o.boxPasswordFile = file; }),
            flag({"box-accept-new-host-key"},
                 [](Options& o, const QString&) { o.acceptNewHostKey = true; }),
            flag({"per-group"}, [](Options& o, const QString&) { o.perGroup = true; }),
            valued({"prefix"}, "NAME",
                   [](Options& o, const QString& name) {
                       if (!isBouquetPrefix(name))
                           throw UsageError{QStringLiteral("--prefix is [a-z0-9_]+, not \"%1\"")
                                                .arg(visibleText(name))};
                       o.prefix = name;
                   }),
            valued({"reload-url"}, "URL",
                   [](Options& o, const QString& url) { o.reloadUrl = url; }),
            flag({"no-reload"}, [](Options& o, const QString&) { o.noReload = true; }),
            valued({"guide"}, "FILE|URL",
                   [](Options& o, const QString& guide) { o.guides.append(guide); }),
            valued({"guide-out"}, "FILE",
                   [](Options& o, const QString& file) {
                       if (file.isEmpty())
                           throw UsageError{QStringLiteral("--guide-out needs a file name")};
                       o.guideOut = file;
                   }),
            flag({"guide-partial-ok"}, [](Options& o, const QString&) { o.guidePartialOk = true; }),
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

// The options of a send go with --send-to, or with a recipe that may hold
// a receiver; --per-group and --prefix also with -o FOLDER, which the
// bouquets are saved into.
void checkSendOptions(const Options& options) {
    const bool sending = !options.sendTo.isEmpty();
    if (!sending && options.recipe.isEmpty() && options.saveRecipe.isEmpty()) {
        if (!options.boxPasswordFile.isEmpty() || !options.reloadUrl.isEmpty() ||
            options.noReload || options.acceptNewHostKey)
            throw UsageError{QStringLiteral("--box-password-file, --box-accept-new-host-key, "
                                            "--reload-url and --no-reload go with --send-to")};
        if (!options.prefix.isEmpty() && !options.perGroup)
            throw UsageError{QStringLiteral("--prefix goes with --per-group or --send-to")};
        if (options.perGroup && !options.outputGiven)
            throw UsageError{QStringLiteral("--per-group writes a bouquet per group and their "
                                            "index: give -o FOLDER, or --send-to ADDRESS")};
    }
    if (options.perGroup && !sending) {
        if (options.outputGiven && options.output.isEmpty())
            throw UsageError{QStringLiteral("--per-group writes several files: -o names a "
                                            "folder, not standard output")};
        if (options.action == Action::ListGroups)
            throw UsageError{QStringLiteral("--list-groups cannot be used with --per-group")};
        if (options.target && options.target->kind() != TTargetKind::tkEnigma2)
            throw UsageError{QStringLiteral("--per-group writes Enigma2 bouquets: --to %1 cannot "
                                            "be used with it")
                                 .arg(options.target->cliName())};
    }
    if (!sending)
        return;
    if (options.action == Action::ListGroups)
        throw UsageError{QStringLiteral("--list-groups cannot be used with --send-to")};
    if (options.outputGiven)
        throw UsageError{QStringLiteral("--send-to writes no output: -o cannot be used with it")};
    if (options.target && options.target->kind() != TTargetKind::tkEnigma2)
        throw UsageError{QStringLiteral("--send-to sends Enigma2 bouquets: --to %1 cannot be used "
                                        "with it")
                             .arg(options.target->cliName())};
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
    // A recipe joins the channels of several.
    if (inputs.size() > 1) {
        if (options.recipe.isEmpty() && options.saveRecipe.isEmpty())
            throw UsageError{QStringLiteral("only one INPUT may be given, but for a recipe")};
        if (inputs.contains(QStringLiteral("-")) || inputs.contains(QString()))
            throw UsageError{QStringLiteral("several INPUTs are files or addresses, not \"-\"")};
        options.moreInputs = inputs.mid(1);
    }
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
    } else if (!options.user.isEmpty() ||
               (!options.passwordFile.isEmpty() && options.recipe.isEmpty()) || options.movies ||
               options.noLive || options.streamFormat != StreamFormat::Auto) {
        throw UsageError{QStringLiteral("--user, --password-file, --movies, --no-live and "
                                        "--stream-format go with --provider")};
    }
    checkSendOptions(options);
    // A recipe's run checks its target once it has read the recipe; so does
    // a send, or a save of a bouquet per group, which make their own bouquets.
    const bool recipe = !options.recipe.isEmpty() || !options.saveRecipe.isEmpty() ||
                        !options.sendTo.isEmpty() || options.perGroup;
    if (!options.guides.isEmpty() && options.guideOut.isEmpty() && !recipe)
        throw UsageError{QStringLiteral("--guide needs --guide-out FILE")};
    if (recipe && options.action == Action::ListGroups)
        throw UsageError{QStringLiteral("--list-groups cannot be used with a recipe")};
    if (options.storePassword && options.saveRecipe.isEmpty())
        throw UsageError{QStringLiteral("--store-password goes with --save-recipe")};
    if ((options.acceptGone || options.forgetGone) && options.recipe.isEmpty())
        throw UsageError{QStringLiteral("--accept-gone and --forget-gone go with --recipe")};
    if (options.verbose && options.recipe.isEmpty() && options.guideOut.isEmpty())
        throw UsageError{QStringLiteral("--verbose goes with --recipe or --guide-out")};
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
    int refused = 0;        // channels the target cannot carry, left out
    LostAttributes lost{};  // what the target could not hold
    bool streamed = false;  // the bytes went to the StreamedOutput as they were made
};

// The way of UTF-16 lines, for input in a code page or in UTF-16: the
// lines' entries encoded into the output's bytes as they are written.
// Said, not silent: the channels whose headers or logo the target could not
// hold, once a run (a warning, which --quiet leaves).
void printLost(const LostAttributes& lost, const TargetFormat& target) {
    if (lost.headers > 0)
        printMessage(
            QStringLiteral("%1 lost their headers: %2 cannot hold them")
                .arg(countText(lost.headers, u"channel", u"channels"), target.shortName()));
    if (lost.logos > 0)
        printMessage(QStringLiteral("%1 lost their logos: %2 cannot hold them")
                         .arg(countText(lost.logos, u"channel", u"channels"), target.shortName()));
}

// The target options of this run (--enigma2-type, --bouquet-name, or the
// recipe's), for every sink it writes into.
TargetOptions& runTargetOptions() {
    static TargetOptions options;
    return options;
}

template <typename Source>
Result runIntoBytes(const TargetFormat& target, const TEncoding& encoding, std::optional<bool> mark,
                    const SourceName& name, qsizetype inputSize, Source& source) {
    Result result{target.preamble(encoding, mark)};
    // Enough for most targets in one go; pages never written cost nothing.
    result.bytes.reserve(result.bytes.size() + inputSize + inputSize / 8 + 4096);
    EncodingSink sink(result.bytes, encoding, target.lineEnd());
    sink.options = runTargetOptions();
    const ConversionCounts counts = runConversion(target, source, sink, name);
    sink.flush();
    result.lost = sink.lost;
    result.channels = counts.channels;
    result.entries = counts.entries;
    result.refused = counts.refused;
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
                                  const TEncoding& encoding, std::optional<bool> mark,
                                  const SourceName& name, ScanAhead::Mode mode,
                                  ScanAhead::Verdict& verdict, StreamedOutput* streamed,
                                  const TAnsiEncoding* codePage = nullptr) {
    const qsizetype size = reader.sizeHint();
    Result result{target.preamble(encoding, mark)};
    ByteLineSink sink(result.bytes, streamed ? 0 : size + size / 8 + 4096, encoding,
                      target.lineEnd());
    sink.options = runTargetOptions();
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
    result.refused = counts.refused;
    result.replaced = sink.replaced();
    result.streamed = sink.drained();
    result.lost = sink.lost;
    return result;
}

// Input with a UTF-16 byte-order mark: rare, and read whole.
Result convertUtf16(InputReader& reader, const TEncoding& ansi, const TargetFormat& target,
                    const TEncoding& encoding, std::optional<bool> mark, const SourceName& name) {
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
                    const TEncoding& encoding, std::optional<bool> mark, const SourceName& source,
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
                     const TargetFormat& target, const TEncoding& encoding,
                     std::optional<bool> mark, const SourceName& source, QByteArray* groupList,
                     StreamedOutput* streamed) {
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
            sink.options = runTargetOptions();
            streamInto(sink, streamed);
            Utf8Source text(target, chosen);
            const ConversionCounts counts = runConversion(target, text, sink, source);
            sink.finish();
            result.channels = counts.channels;
            result.entries = counts.entries;
            result.refused = counts.refused;
            result.streamed = sink.drained();
            result.lost = sink.lost;
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

// Why a download ended by the run's deadline.
QString deadlineText(const Options& options) {
    return QStringLiteral("Timed out: the run took longer than %1 seconds")
        .arg(options.maxTime ? options.maxTime->count() : 0);
}

// A body checked against the run's deadline at every piece, handed on to
// `sink`, or kept whole when there is none.
class DeadlineBody final : public BodySink {
public:
    DeadlineBody(const QUrl& url, const Options& options, BodySink* sink)
        : m_url(url), m_options(options), m_sink(sink) {}
    void begin(qint64 size) override { m_sink ? m_sink->begin(size) : m_whole.begin(size); }
    void write(QByteArrayView piece) override {
        if (std::chrono::steady_clock::now() >= *m_options.deadline)
            throw EFOpenError(cannotOpenUrlText(m_url, deadlineText(m_options)));
        m_sink ? m_sink->write(piece) : m_whole.write(piece);
    }
    QByteArray take() { return m_whole.take(); }

private:
    const QUrl& m_url;
    const Options& m_options;
    BodySink* m_sink;
    WholeBody m_whole;
};

// What a run left out because the target cannot carry it, said once.
void printRefused(int refused, const TargetFormat& target) {
    if (refused > 0)
        printMessage(QStringLiteral("%1 left out: %2 cannot hold their name or address, which "
                                    "holds what it separates its fields by")
                         .arg(countText(refused, u"channel", u"channels"), target.cliName()));
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
    // The run's deadline: no later than it the stall limit ends a download
    // that stands still, and the body's every piece is checked against it,
    // so that bytes that keep coming slowly (or never end) do not keep the
    // run going.
    std::optional<DeadlineBody> checked;
    if (options.deadline) {
        using namespace std::chrono;
        const auto left = duration_cast<milliseconds>(*options.deadline - steady_clock::now());
        if (left <= 0ms)
            throw EFOpenError(cannotOpenUrlText(url, deadlineText(options)));
        limits.stallTimeout = std::min(limits.stallTimeout, left + 1ms);
        checked.emplace(url, options, sink);
        sink = &*checked;
    }
    struct Late {
        const QUrl& url;
        const Options& options;
        // A stall cut short by the deadline says so.
        [[noreturn]] void rethrow(const Exception& error) const {
            if (options.deadline && std::chrono::steady_clock::now() >= *options.deadline &&
                error.Message().endsWith(u"Timed out"))
                throw EFOpenError(cannotOpenUrlText(url, deadlineText(options)));
            throw;
        }
    } late{url, options};
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
    try {
        if (sink) {
            if (drawProgress)
                downloadIntoFromModule(url, limits, *sink, progress);
            else
                downloadIntoFromModule(url, limits, *sink);
            return checked ? checked->take() : QByteArray();
        }
        if (drawProgress)
            return downloadWholeFromModule(url, limits, progress);
        return downloadWholeFromModule(url, limits);
    } catch (const Exception& error) {
        late.rethrow(error);
    }
}

// The login --provider names. The password never comes from the command
// line, where every user of the machine could read it.
// The password of --password-file (its first line), else DORVANE_PASSWORD.
QString givenPassword(const Options& options) {
    if (options.passwordFile.isEmpty())
        return qEnvironmentVariable("DORVANE_PASSWORD");
    QFile file(options.passwordFile);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(
            QStringLiteral("%1. %2").arg(cannotOpenText(options.passwordFile), file.errorString()));
    QByteArray line = file.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

ProviderLogin providerLogin(const Options& options) {
    ProviderLogin login;
    login.server = providerServer(options.provider);
    login.user = options.user;
    login.password = givenPassword(options);
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
    QStringList warnings;
    QByteArray bytes;
    if (getAddress.isEmpty()) {
        bytes = readProviderPlaylist(login, fetch, &warnings);
    } else {
        bytes = readGetAddress(getAddress, login, fetch, fellBack, &warnings);
        if (fellBack && !options.quiet)
            printMessage(QStringLiteral("\"%1\" gave no playlist: read through the provider's "
                                        "interface instead")
                             .arg(maskedAddress(getAddress)));
    }
    for (const QString& warning : warnings)
        printMessage(warning);
    return bytes;
}

int convert(Options options) {
    runTargetOptions() = {options.enigma2Type ? options.enigma2Type : TargetOptions().enigma2Type,
                          options.bouquetName};
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
    const std::optional<bool> mark = options.byteOrderMark;

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

    // Warnings, not errors: the output is what the window's Save writes.
    // --quiet silences the summary only.
    printRefused(result.refused, target);
    if (result.replaced > 0)
        printMessage(QStringLiteral("%1 characters could not be written in code page %2 and were "
                                    "replaced")
                         .arg(result.replaced)
                         .arg(encoding.CodePage()));
    printLost(result.lost, target);
    if (!options.quiet)
        printMessage(QStringLiteral("%1, %2, %3")
                         .arg(countText(result.channels, u"channel", u"channels"),
                              countText(result.entries, u"entry", u"entries"), target.cliName()));
    return kDone;
}

// --recipe and --save-recipe ------------------------------------------------

// A provider's channels (the provider interface, with a login). The one
// place a provider source is to be read.
// A recipe without its password takes it from --password-file, else from
// DORVANE_PASSWORD, as --provider does.
TStringList readProviderSource(const RecipeSource& source, const Options& options,
                               SourceName& name) {
    ProviderLogin login;
    login.server = providerServer(source.server);
    login.user = source.user;
    login.password = source.password.isEmpty() ? givenPassword(options) : source.password;
    if (login.password.isEmpty())
        throw EFOpenError(QStringLiteral("No password for \"%1\": store it in the recipe, give "
                                         "--password-file FILE or set DORVANE_PASSWORD")
                              .arg(serverText(login.server)));
    login.live = source.live;
    login.movies = source.movies;
    bool fellBack = false;
    const QByteArray bytes = readProviderInput(options, login, QUrl(), fellBack);
    name = SourceName::ofServer(login.server);
    return std::move(takeBytes(bytes).lines);
}

// INPUT "-", or a send or a bouquet per group without INPUT, recipe or
// provider.
bool readsStandardInput(const Options& options) {
    if (options.inputGiven)
        return options.input.isEmpty();
    // A send, a save of a bouquet per group or a guide's cut without a
    // recipe reads INPUT, standard input when none is given, as a plain run
    // does.
    return options.recipe.isEmpty() && options.provider.isEmpty();
}

// The recipe's playlist, read as the window reads a file: the bytes decoded
// (decodeFileBytes, UTF-8 or `ansi`) and split into lines. `name` gets the
// playlist's name for the targets whose header names it. With INPUT "-",
// standard input instead of the recipe's source.
TStringList readOneSource(const RecipeSource& source, const Options& options, const TEncoding& ansi,
                          SourceName& name) {
    QByteArray bytes;
    if (readsStandardInput(options)) {
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

// A source as a message names it.
QString sourceText(const RecipeSource& source) {
    switch (source.kind) {
    case RecipeSource::Kind::File:
        return source.file;
    case RecipeSource::Kind::Url:
        return maskedAddress(source.url);
    case RecipeSource::Kind::Provider:
        return QStringLiteral("provider %1, user %2").arg(source.server, source.user);
    }
    return {};
}

// The recipe's sources read in order and joined (joinedPlaylists); `name`
// is the first's. A source that fails fails the run, unless it is
// optional: then it is said, and left out.
TStringList readRecipeSources(const Recipe& recipe, const Options& options, const TEncoding& ansi,
                              SourceName& name) {
    // Standard input stands for all of them.
    if (recipe.moreSources.empty() || (options.inputGiven && options.input.isEmpty()))
        return readOneSource(recipe.source, options, ansi, name);
    std::vector<TStringList> playlists;
    bool named = false;
    for (const RecipeSource& source : recipe.sources()) {
        SourceName itsName;
        try {
            playlists.push_back(readOneSource(source, options, ansi, itsName));
        } catch (const Exception& error) {
            if (!source.optional)
                throw;
            printMessage(QStringLiteral("optional source %1 left out: %2")
                             .arg(sourceText(source), error.Message()));
            continue;
        }
        if (!named) {
            name = itsName;
            named = true;
        }
    }
    if (playlists.empty())
        throw EReadError(QStringLiteral("None of the recipe's sources could be read"));
    return joinedPlaylists(playlists);
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
    if (!options.provider.isEmpty()) {
        recipe.source = RecipeSource();
        recipe.source.kind = RecipeSource::Kind::Provider;
        recipe.source.server = serverText(providerServer(options.provider));
        recipe.source.user = options.user;
        recipe.source.live = !options.noLive;
        recipe.source.movies = options.movies;
        if (options.storePassword) {
            recipe.source.password = givenPassword(options);
            if (recipe.source.password.isEmpty())
                throw EFOpenError(QStringLiteral("No password to store: give --password-file "
                                                 "FILE or set DORVANE_PASSWORD"));
        }
    } else if (options.inputGiven && !options.input.isEmpty()) {
        const auto sourceOf = [](const QString& input) {
            RecipeSource source;
            if (looksLikeAddress(input)) {
                source.kind = RecipeSource::Kind::Url;
                source.url = input;
            } else {
                source.file = wholePath(input);
            }
            return source;
        };
        recipe.source = sourceOf(options.input);
        recipe.moreSources.clear();
        for (const QString& input : options.moreInputs)
            recipe.moreSources.push_back(sourceOf(input));
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
    if (options.enigma2Type)
        recipe.enigma2Type = options.enigma2Type;
    if (!options.bouquetName.isEmpty())
        recipe.bouquetName = options.bouquetName;
    if (options.outputGiven)
        recipe.output = options.output.isEmpty() ? QString() : wholePath(options.output);
    if (!options.provider.isEmpty()) {
        // --provider takes this way with --send-to, --guide-out or
        // --save-recipe: its login is the source (and its guide the
        // provider's).
        const ProviderLogin login = providerLogin(options);
        recipe.source = RecipeSource();
        recipe.source.kind = RecipeSource::Kind::Provider;
        recipe.source.server = options.provider;
        recipe.source.user = login.user;
        recipe.source.password = login.password;
        recipe.source.live = login.live;
        recipe.source.movies = login.movies;
    }
    RecipeReceiver& receiver = recipe.receiver;
    if (!options.sendTo.isEmpty())
        receiver.address = options.sendTo;
    if (!options.prefix.isEmpty())
        receiver.prefix = options.prefix;
    if (options.perGroup)
        receiver.perGroup = true;
    for (const QString& guide : options.guides)
        recipe.guide.guides << (looksLikeAddress(guide) ? guide : wholePath(guide));
    if (!options.guideOut.isEmpty())
        recipe.guide.output = wholePath(options.guideOut);
    return recipe;
}

// Whether a recipe read from its file holds passwords, which its file then
// keeps when it is written again (readable by its owner only).
bool keepsPasswords(const Recipe& recipe) {
    const std::vector<RecipeSource> sources = recipe.sources();
    return !recipe.receiver.password.isEmpty() ||
           std::any_of(sources.begin(), sources.end(),
                       [](const RecipeSource& source) { return !source.password.isEmpty(); });
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
    request.fetch = [timeout = options.timeout](const QUrl& url, BodySink& sink) {
        // The downloads run on an event loop, which needs the application
        // object; a run that reads only files does without.
        static int argc = 1;
        static char name[] = "dorvane-convert";
        static char* argv[] = {name, nullptr};
        std::optional<QCoreApplication> application;
        if (!QCoreApplication::instance())
            application.emplace(argc, argv);
        DownloadLimits limits;
        limits.stallTimeout = timeout;
        limits.maxBytes = kMaxGuideBytes;
        downloadIntoFromModule(url, limits, sink);
    };
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
            writeRecipe(options.recipe, kept, keepsPasswords(kept));
        }
    }
    return bytes;
}

// What --save-recipe saved, in one line.
QString savedRecipeText(const QString& fileName, const Recipe& recipe, bool storePassword) {
    QStringList sources;
    for (const RecipeSource& source : recipe.sources()) {
        QString text = sourceText(source);
        if (source.kind == RecipeSource::Kind::Provider)
            text += storePassword && !source.password.isEmpty()
                        ? QStringLiteral(", password stored")
                        : QStringLiteral(", password not stored");
        sources << text;
    }
    const QString source = sources.join(QStringLiteral(" + "));
    return QStringLiteral("recipe saved to %1: %2 as %3 to %4")
        .arg(fileName, source,
             recipe.target.isEmpty() ? QStringLiteral("no target yet") : recipe.target,
             recipe.output.isEmpty() ? QStringLiteral("standard output") : recipe.output);
}

// A password in a recipe that others may read is theirs too: said, and the
// run goes on.
void warnOfReadablePassword(const QString& fileName, const Recipe& recipe) {
    const std::vector<RecipeSource> sources = recipe.sources();
    if (fileName.isEmpty() ||
        (recipe.receiver.password.isEmpty() &&
         std::none_of(sources.begin(), sources.end(), [](const RecipeSource& source) {
             return source.kind == RecipeSource::Kind::Provider && !source.password.isEmpty();
         })))
        return;
    const QFileInfo info(fileName);
    if (info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))
        printMessage(QStringLiteral("warning: %1 holds a password and others can read it "
                                    "(chmod 600 %1)")
                         .arg(fileName));
}

// Whether the lines' addresses hold a password: a provider's streams hold
// the account's; any address may carry one in its user part or query.
bool holdsPassword(const Recipe& recipe, const TStringList& lines) {
    const std::vector<RecipeSource> sources = recipe.sources();
    if (std::any_of(sources.begin(), sources.end(), [](const RecipeSource& source) {
            return source.kind == RecipeSource::Kind::Provider;
        }))
        return true;
    for (int k = 0; k < lines.Count(); ++k) {
        const QStringView line = lines.line(k);
        if ((line.contains(u'@') || line.contains(u'=')) && isStreamLine(line) &&
            maskedAddress(line) != line)
            return true;
    }
    return false;
}

// --send-to ----------------------------------------------------------------

// The receiver's password: the first line of --box-password-file, else the
// recipe's, else DORVANE_BOX_PASSWORD; empty when none is given (SFTP with a
// key, or a receiver without one).
QString boxPassword(const Options& options, const RecipeReceiver& receiver) {
    if (!options.boxPasswordFile.isEmpty()) {
        QFile file(options.boxPasswordFile);
        if (!file.open(QIODevice::ReadOnly))
            throw EFOpenError(QStringLiteral("%1. %2").arg(cannotOpenText(options.boxPasswordFile),
                                                           file.errorString()));
        QByteArray line = file.readLine(64 * 1024);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        return QString::fromUtf8(line);
    }
    if (!receiver.password.isEmpty())
        return receiver.password;
    return qEnvironmentVariable("DORVANE_BOX_PASSWORD");
}

// A recipe file's new slugs written back into it, so that the next run
// names the same groups' files alike; nothing else of it changes.
void keepSlugs(const QString& recipeFile, const std::vector<GroupSlug>& slugs) {
    Recipe stored = readRecipe(recipeFile);
    if (stored.receiver.slugs.size() == slugs.size())
        return;
    stored.receiver.slugs = slugs;
    writeRecipe(recipeFile, stored, keepsPasswords(stored));
}

// The recipe's Enigma2 service type and bouquet name.
TargetOptions recipeTargetOptions(const Recipe& recipe) {
    TargetOptions options;
    if (recipe.enigma2Type != 0)
        options.enigma2Type = recipe.enigma2Type;
    options.bouquetName = recipe.bouquetName;
    return options;
}

int channelsOf(const std::vector<Bouquet>& bouquets) {
    int channels = 0;
    for (const Bouquet& bouquet : bouquets)
        channels += bouquet.channels;
    return channels;
}

// The bouquets' prefix of a recipe: its own, else "dorvane"; nothing, and
// said, when it is not one.
std::optional<QString> recipePrefix(const RecipeReceiver& receiver) {
    const QString prefix =
        receiver.prefix.isEmpty() ? QString::fromUtf16(kDefaultBouquetPrefix) : receiver.prefix;
    if (isBouquetPrefix(prefix))
        return prefix;
    printMessage(QStringLiteral("The prefix is [a-z0-9_]+, not \"%1\"").arg(visibleText(prefix)));
    return std::nullopt;
}

// The recipe file keeps the slugs a run added, so that its files keep their
// names; a recipe that cannot be written back is said, not fatal.
void keepNewSlugs(const Options& options, const std::vector<GroupSlug>& slugs,
                  std::size_t slugsBefore) {
    if (options.recipe.isEmpty() || slugs.size() == slugsBefore)
        return;
    try {
        keepSlugs(options.recipe, slugs);
    } catch (const Exception& error) {
        printMessage(error.Message());
    }
}

// Makes the recipe's bouquets and sends them to its receiver.
int sendRecipe(const Options& options, Recipe& recipe) {
    const auto fail = [](int status, const QString& message) {
        printMessage(message);
        return status;
    };
    if (!recipe.target.isEmpty() && recipe.target != u"enigma2")
        return fail(kUsageError, QStringLiteral("--send-to sends Enigma2 bouquets, not %1 (see "
                                                "\"dorvane-convert --help\")")
                                     .arg(recipe.target));
    RecipeReceiver& receiver = recipe.receiver;
    const std::optional<QString> givenPrefix = recipePrefix(receiver);
    if (!givenPrefix)
        return kUsageError;
    const QString& prefix = *givenPrefix;
    SendPlan plan;
    try {
        plan.folder = receiverFolder(receiver.address);
        if (!options.reloadUrl.isEmpty())
            plan.reloadUrl = reloadAddress(plan.folder, options.reloadUrl);
    } catch (const Exception& error) {
        return fail(kUsageError, error.Message());
    }
    plan.password = boxPassword(options, receiver);
    plan.prefix = prefix;
    plan.acceptNewHostKey = options.acceptNewHostKey;
    plan.reload = !options.noReload;
    plan.timeout = std::chrono::duration_cast<std::chrono::seconds>(options.timeout);

    const TEncoding& ansi =
        recipe.codePage ? *TEncoding::ansi(recipe.codePage) : TEncoding::Default();
    SourceName name;
    const TStringList playlist = readRecipeSources(recipe, options, ansi, name);
    const AppliedRecipe applied = applyRecipe(recipe, playlist);
    const std::size_t slugsBefore = receiver.slugs.size();
    const std::vector<Bouquet> bouquets =
        makeBouquets(applied.lines, name, prefix, receiver.perGroup, recipe.groupNames,
                     receiver.slugs, recipeTargetOptions(recipe));
    const int channels = channelsOf(bouquets);
    if (channels == 0)
        return fail(kNoChannels, QStringLiteral("No channels chosen to send"));

    const bool progress = !options.quiet && ::isatty(STDERR_FILENO);
    if (progress)
        plan.progress = [](SendStep step, const QString& file) {
            printMessage(file.isEmpty() ? stepText(step)
                                        : QStringLiteral("%1 %2").arg(stepText(step), file));
        };
    // The module is found from the program's folder, which the
    // application object knows.
    static int argc = 1;
    static char programName[] = "dorvane-convert";
    static char* argv[] = {programName, nullptr};
    std::optional<QCoreApplication> application;
    if (!QCoreApplication::instance())
        application.emplace(argc, argv);
    SendReport report;
    try {
        report = sendBouquetsFromModule(bouquets, plan);
    } catch (const Exception& error) {
        return fail(kNotSent, error.Message());
    }
    // The files are on the receiver under these names now.
    keepNewSlugs(options, receiver.slugs, slugsBefore);
    for (const QString& warning : report.warnings)
        printMessage(warning);
    const QString where = plan.folder.toString(QUrl::RemovePassword);
    const QString sent = QStringLiteral("%1 (%2) sent to %3")
                             .arg(countText(report.files, u"bouquet", u"bouquets"),
                                  countText(channels, u"channel", u"channels"), where);
    if (!report.reloadProblem.isEmpty())
        return fail(kReloadFailed,
                    QStringLiteral("%1, but the reload failed: %2. Reload the lists on the "
                                   "receiver or restart it")
                        .arg(sent, report.reloadProblem));
    if (!options.quiet) {
        QString summary = sent;
        if (report.reloaded)
            summary += QStringLiteral(" and reloaded");
        if (!report.deleted.isEmpty())
            summary +=
                QStringLiteral("; deleted %1").arg(report.deleted.join(QStringLiteral(", ")));
        if (!report.backupFolder.isEmpty())
            summary += QStringLiteral("; the old files are in %1").arg(report.backupFolder);
        printMessage(summary);
    }
    return kDone;
}

// Chosen channels the provider dropped: the list is written without them,
// but never in silence, even with -q; nor is a list left unwritten for want
// of them.
QString goneCountsText(const AppliedRecipe& applied) {
    return QStringLiteral("%1 and %2")
        .arg(countText(applied.missingGroups, u"group", u"groups"),
             countText(applied.missingChannels, u"channel", u"channels"));
}

void printGone(const AppliedRecipe& applied) {
    if (!applied.gone.lost())
        return;
    printMessage(QStringLiteral("%1 the recipe names are no longer in the playlist:")
                     .arg(goneCountsText(applied)));
    const QStringList names = lostNames(applied.gone);
    const QString list = firstNamesText(names, int(names.size()), QStringLiteral("and %1 more"));
    for (const QString& line : list.split(u'\n', Qt::SkipEmptyParts))
        printMessage(line);
}

// --forget-gone: the recipe file no longer names what the playlist lost.
void forgetGone(const Options& options, const TStringList& playlist, const RecipeGone& gone) {
    if (!options.forgetGone || gone.empty())
        return;
    const Recipe fromFile = readRecipe(options.recipe);
    ChannelIndex index(playlist);
    const RecipeGone forgotten = goneFrom(fromFile, index);
    writeRecipe(options.recipe, withoutGone(fromFile, forgotten), keepsPasswords(fromFile));
    printMessage(QStringLiteral("%1 and %2 the playlist no longer has dropped from %3")
                     .arg(countText(int(forgotten.groups.size()), u"group", u"groups"),
                          countText(int(forgotten.channels.size()), u"channel", u"channels"),
                          options.recipe));
}

// The status of a recipe's run that wrote its output: 4 when chosen groups
// or channels are gone and that is not accepted.
int goneStatus(const Options& options, const Recipe& recipe, const AppliedRecipe& applied) {
    if (applied.gone.lost() && !recipe.acceptGone && !options.acceptGone && !options.forgetGone) {
        printMessage(QStringLiteral("written, but %1 the recipe names are gone")
                         .arg(goneCountsText(applied)));
        return kGone;
    }
    return kDone;
}

// --per-group without --send-to: the recipe's bouquets, one a group, and
// their index saved into the folder its output names, as a send writes them
// on the receiver.
int saveBouquetSet(const Options& options, Recipe& recipe) {
    if (recipe.output.isEmpty()) {
        printMessage(QStringLiteral("--per-group writes a bouquet per group and their index: give "
                                    "-o FOLDER, or --send-to ADDRESS (see \"dorvane-convert "
                                    "--help\")"));
        return kUsageError;
    }
    RecipeReceiver& receiver = recipe.receiver;
    const std::optional<QString> prefix = recipePrefix(receiver);
    if (!prefix)
        return kUsageError;

    const TEncoding& ansi =
        recipe.codePage ? *TEncoding::ansi(recipe.codePage) : TEncoding::Default();
    SourceName name;
    const TStringList playlist = readRecipeSources(recipe, options, ansi, name);
    const AppliedRecipe applied = applyRecipe(recipe, playlist);
    printGone(applied);
    const std::size_t slugsBefore = receiver.slugs.size();
    const std::vector<Bouquet> bouquets =
        makeBouquets(applied.lines, name, *prefix, true, recipe.groupNames, receiver.slugs,
                     recipeTargetOptions(recipe));
    const int channels = channelsOf(bouquets);
    if (channels == 0) {
        printMessage(QStringLiteral("No channels chosen to write"));
        return kNoChannels;
    }
    const FolderSaveReport report = saveBouquetsToFolder(bouquets, recipe.output, *prefix);
    // The files are there under these names now, as a send's.
    keepNewSlugs(options, receiver.slugs, slugsBefore);
    for (const QString& warning : report.warnings)
        printMessage(warning);
    forgetGone(options, playlist, applied.gone);
    if (!options.quiet) {
        QString summary =
            QStringLiteral("%1 (%2) and %3 written to %4")
                .arg(countText(report.files, u"bouquet", u"bouquets"),
                     countText(channels, u"channel", u"channels"), kBouquetIndex, recipe.output);
        if (!report.deleted.isEmpty())
            summary +=
                QStringLiteral("; deleted %1").arg(report.deleted.join(QStringLiteral(", ")));
        printMessage(summary);
    }
    return goneStatus(options, recipe, applied);
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
        if (options.recipe.isEmpty() && !options.inputGiven && options.provider.isEmpty())
            return usageError(
                QStringLiteral("--save-recipe needs INPUT (a file or an address) or --provider"));
        if (!fromSource)
            return usageError(QStringLiteral("a recipe cannot read standard input"));
        // A password is kept only when asked to, even one the recipe read
        // held.
        const std::vector<RecipeSource> sources = recipe.sources();
        if (options.storePassword &&
            std::none_of(sources.begin(), sources.end(), [](const RecipeSource& source) {
                return source.kind == RecipeSource::Kind::Provider;
            }))
            return usageError(QStringLiteral("--store-password: the recipe reads no provider"));
        writeRecipe(options.saveRecipe, recipe, options.storePassword);
        printMessage(savedRecipeText(options.saveRecipe, recipe, options.storePassword));
        return kDone;
    }
    warnOfReadablePassword(options.recipe, recipe);

    if (!recipe.receiver.address.isEmpty())
        return sendRecipe(options, recipe);
    // One bouquet a group is an Enigma2 target's: a recipe's, or one that
    // names none.
    if (recipe.receiver.perGroup && (recipe.target.isEmpty() || recipe.target == u"enigma2"))
        return saveBouquetSet(options, recipe);
    if (options.perGroup)
        return usageError(
            QStringLiteral("--per-group writes Enigma2 bouquets, not %1").arg(recipe.target));
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
    runTargetOptions() = {recipe.enigma2Type ? recipe.enigma2Type : TargetOptions().enigma2Type,
                          recipe.bouquetName};
    SourceName name;
    const TStringList playlist = readRecipeSources(recipe, options, ansi, name);
    AppliedRecipe applied = applyRecipe(recipe, playlist);
    const GuideOutcome guide = recipeGuide(recipe, options, applied.lines);
    const bool guideWhole = guide.whole;
    const std::optional<TStringList> former = readFormerOutput(recipe.output, ansi);

    LineListSource source(*target, applied.lines);
    const Result result = runIntoBytes(*target, encoding, options.byteOrderMark, name,
                                       applied.lines.textLength(), source);
    printGone(applied);
    if (result.channels == 0) {
        printMessage(QStringLiteral("No channels chosen by the recipe"));
        return kNoChannels;
    }
    const bool ownerOnly = holdsPassword(recipe, applied.lines);
    if (guide.ran && target->kind() == TTargetKind::tkEnigma2)
        writeOutput(recipe.output,
                    enigma2Guide(recipe, options, applied.lines, guide, result.bytes), ownerOnly);
    else
        writeOutput(recipe.output, result.bytes, ownerOnly);

    printRefused(result.refused, *target);
    if (result.replaced > 0)
        printMessage(QStringLiteral("%1 characters could not be written in code page %2 and were "
                                    "replaced")
                         .arg(result.replaced)
                         .arg(encoding.CodePage()));
    forgetGone(options, playlist, applied.gone);

    if (!options.quiet) {
        printLost(result.lost, *target);
        QString summary =
            QStringLiteral("%1 written to %2")
                .arg(countText(result.channels, u"channel", u"channels"),
                     recipe.output.isEmpty() ? QStringLiteral("standard output") : recipe.output);
        std::optional<ChannelChanges> changes;
        if (former) {
            // The new file read back as the old one was: a target that
            // keeps no group or id loses them from both alike.
            changes = compareChannels(*former, takeBytes(result.bytes, ansi).lines);
            summary += QStringLiteral(" (%1)").arg(changesText(*changes));
        }
        printMessage(summary);
        if (changes && (options.verbose || ::isatty(STDERR_FILENO))) {
            const auto names = [](const QStringList& first, int count) {
                QString text = first.join(QStringLiteral(", "));
                if (count > first.size())
                    text += QStringLiteral(" and %1 more").arg(count - first.size());
                return text;
            };
            if (changes->added > 0)
                printMessage(
                    QStringLiteral("new: %1").arg(names(changes->addedNames, changes->added)));
            if (changes->gone > 0)
                printMessage(
                    QStringLiteral("gone: %1").arg(names(changes->goneNames, changes->gone)));
        }
    }
    // A guide cut short or not read is a file that could not be read.
    if (!guideWhole)
        return kFileError;
    return goneStatus(options, recipe, applied);
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
    // A recipe runs unattended, from a timer or a script: its run ends
    // after ten minutes unless told otherwise.
    const bool recipeRun = options.action == Action::Convert && !options.recipe.isEmpty();
    if (!options.maxTime && recipeRun)
        options.maxTime = std::chrono::seconds(600);
    if (options.maxTime)
        options.deadline = std::chrono::steady_clock::now() + *options.maxTime;
    try {
        // A guide is cut to the channels of the list as it is written: that
        // way holds the list's lines.
        if (options.action == Action::Convert &&
            (!options.recipe.isEmpty() || !options.saveRecipe.isEmpty() ||
             !options.sendTo.isEmpty() || options.perGroup || !options.guideOut.isEmpty()))
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
