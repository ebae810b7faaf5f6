#include "ConvertCommand.h"

#include "Conversion.h"
#include "Encoding.h"
#include "Errors.h"
#include "LineSink.h"
#include "PieceReader.h"
#include "Playlist.h"
#include "StringList.h"
#include "SystemError.h"
#include "TargetFormat.h"
#include "TextFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
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
    }
    bytes.resize(used);
    return bytes;
}

void writeStandardOutput(const QByteArray& bytes) {
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

// The input's bytes. A regular file is mapped rather than read: no copy, and
// no fresh memory for the kernel to clear, which on a big playlist costs more
// than the whole conversion.
class InputBytes {
public:
    explicit InputBytes(const QString& fileName) {
        if (fileName.isEmpty()) {
            m_bytes = readStandardInput();
            return;
        }
        if (QFileInfo(fileName).isFile()) {
            m_file.setFileName(fileName);
            if (m_file.open(QIODevice::ReadOnly) && m_file.size() > 0) {
                m_mapped = m_file.map(0, m_file.size());
                if (m_mapped) {
                    m_size = m_file.size();
                    return;
                }
            }
            m_file.close();
        }
        m_bytes = readWholeFile(fileName); // and its error message
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

// Reads the input as decodeFileBytes(bytes, UTF-8, ansi) and
// TStringList::setText read it, and converts it.
std::unique_ptr<Converter> convertInput(QByteArrayView bytes, const TEncoding& ansi,
                                        const TargetFormat& target, const TEncoding& encoding) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // UTF-16: rare, and not worth reading in pieces.
        TStringList lines;
        lines.setText(decodeFileBytes(QByteArray::fromRawData(bytes.data(), bytes.size()),
                                      TEncoding::UTF8(), ansi));
        auto converter = std::make_unique<Converter>(target, encoding, bytes.size());
        converter->addLines(lines);
        converter->finish(channelCount(lines));
        return converter;
    }

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

int convert(const Options& options) {
    const TEncoding& ansi =
        options.codePage ? *TEncoding::ansi(options.codePage) : TEncoding::Default();
    const TEncoding& encoding = options.ansi ? ansi : TEncoding::UTF8();
    const TargetFormat& target = *options.target;

    const InputBytes input(options.input);
    const std::unique_ptr<Converter> result = convertInput(input.view(), ansi, target, encoding);

    if (result->channels() == 0) {
        printTo(stderr, QStringLiteral("No channels found in %1\n")
                            .arg(options.input.isEmpty() ? QStringLiteral("standard input")
                                                         : options.input));
        return kNoChannels;
    }

    if (options.output.isEmpty())
        writeStandardOutput(result->bytes());
    else
        saveBytesToFile(options.output, result->bytes());

    printTo(stderr, QStringLiteral("%1, %2, %3\n")
                        .arg(countText(result->channels(), u"channel", u"channels"),
                             countText(result->entries(), u"entry", u"entries"), target.cliName()));
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
    }
    return kFileError;
}

} // namespace dorvane
