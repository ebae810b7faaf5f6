#include "source/guide/GuideReader.h"

#include "playlist/Errors.h"
#include "playlist/Platform.h"
#include "playlist/SystemError.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <lzma.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace dorvane::guide {

QByteArrayView Element::attribute(QByteArrayView name) const {
    for (const Attribute& attribute : attributes)
        if (attribute.name == name)
            return attribute.value;
    return {};
}

namespace {

// Pieces handed to the XML parser at most this large, so that the bytes
// taken since its last event can be watched closely.
constexpr qsizetype kParseStep = 64 * 1024;

// xz's dictionary can ask for up to 1.5 GB; every ordinary preset fits here.
constexpr uint64_t kXzMemoryLimit = 100u << 20;

QByteArrayView view(const xmlChar* text) {
    return QByteArrayView(reinterpret_cast<const char*>(text));
}

void appendName(QByteArray& to, const xmlChar* prefix, const xmlChar* localName) {
    if (prefix) {
        to += view(prefix);
        to += ':';
    }
    to += view(localName);
}

// Text escaped for XML's content or, with `inAttribute`, a value in double
// quotes (whose white space would otherwise be normalised on the way back).
void appendEscaped(QByteArray& to, QByteArrayView text, bool inAttribute) {
    const char* run = text.data();
    const char* const end = run + text.size();
    for (const char* at = run; at < end; ++at) {
        const char* with = nullptr;
        switch (*at) {
        case '&':
            with = "&amp;";
            break;
        case '<':
            with = "&lt;";
            break;
        case '>':
            with = "&gt;";
            break;
        case '"':
            with = inAttribute ? "&quot;" : nullptr;
            break;
        case '\t':
            with = inAttribute ? "&#9;" : nullptr;
            break;
        case '\n':
            with = inAttribute ? "&#10;" : nullptr;
            break;
        case '\r':
            with = "&#13;";
            break;
        default:
            break;
        }
        if (!with)
            continue;
        to.append(run, at - run);
        to.append(with);
        run = at + 1;
    }
    to.append(run, end - run);
}

// An attribute's value as the parser gives it: without entity substitution
// it keeps an ampersand as "&#38;", every other reference resolved.
QByteArray attributeValue(const xmlChar* begin, const xmlChar* end) {
    QByteArray value(reinterpret_cast<const char*>(begin), end - begin);
    if (value.contains('&'))
        value.replace("&#38;", "&");
    return value;
}

} // namespace

// The XML parser: libxml2's push parser, its SAX2 events turned into whole
// elements. The events never throw through the parser: a failure is kept and
// the parser stopped, and thrown again once it has returned.
struct GuideReader::Parser {
    enum class Mode { Outside, Keep, Skip };

    Parser(GuideReader& reader) : reader(reader) {
        std::memset(&sax, 0, sizeof sax);
        sax.initialized = XML_SAX2_MAGIC;
        sax.startElementNs = &Parser::onStart;
        sax.endElementNs = &Parser::onEnd;
        sax.characters = &Parser::onText;
        sax.cdataBlock = &Parser::onText;
        sax.internalSubset = &Parser::onDoctype;
        sax.serror = &Parser::onError;
        // Any other event (a comment, a processing instruction, white space
        // outside an element) is dropped; each still shows the parser moves.
        sax.comment = [](void* self, const xmlChar*) {
            static_cast<Parser*>(self)->sinceEvent = 0;
        };
        sax.processingInstruction = [](void* self, const xmlChar*, const xmlChar*) {
            static_cast<Parser*>(self)->sinceEvent = 0;
        };
        sax.ignorableWhitespace = &Parser::onText;
    }
    ~Parser() {
        if (context)
            xmlFreeParserCtxt(context);
    }

    void start(QByteArrayView first) {
        // The parser refuses what is deeper than this on its own, with its own
        // words: the limit here comes first.
        if (xmlParserMaxDepth < unsigned(reader.m_limits.maxDepth) + 16)
            xmlParserMaxDepth = unsigned(reader.m_limits.maxDepth) + 16;
        // What the parser would print on its own (an encoding it cannot
        // convert, say) is said through the error of the parse instead.
        xmlSetGenericErrorFunc(nullptr, &Parser::quiet);
        xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});
        context = xmlCreatePushParserCtxt(&sax, this, first.data(), int(first.size()), nullptr);
        if (!context)
            throw std::bad_alloc();
        // Never the network, and no entity substituted: only XML's five are
        // resolved, as they always are.
        xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_NOWARNING);
    }

    // Parses the bytes; false when the parser stopped at an error of the XML.
    bool parse(QByteArrayView bytes, bool last) {
        sinceEvent += bytes.size();
        xmlParseChunk(context, bytes.data(), int(bytes.size()), last ? 1 : 0);
        if (failure)
            std::rethrow_exception(failure);
        if (!refusal.isEmpty())
            throw EReadError(
                QStringLiteral("Guide \"%1\" refused: %2.").arg(reader.m_name, refusal));
        if (!error.isEmpty())
            return false;
        if (sinceEvent > reader.m_limits.maxElementBytes)
            refuse(QStringLiteral("a tag, text or comment longer than %1 bytes")
                       .arg(reader.m_limits.maxElementBytes));
        return true;
    }

    void refuse(const QString& why) {
        if (refusal.isEmpty())
            refusal = why;
        xmlStopParser(context);
        throw EReadError(QStringLiteral("Guide \"%1\" refused: %2.").arg(reader.m_name, refusal));
    }

    // The same from inside an event: kept, the parser stopped.
    void refuseLater(const QString& why) {
        if (refusal.isEmpty())
            refusal = why;
        stopped = true;
        xmlStopParser(context);
    }

    template <typename Call> void handOn(Call call) {
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
            stopped = true;
            xmlStopParser(context);
        }
    }

    void checkSize() {
        if (element.content.size() > reader.m_limits.maxElementBytes)
            refuseLater(QStringLiteral("a <%1> larger than %2 bytes")
                            .arg(QString::fromUtf8(element.name))
                            .arg(reader.m_limits.maxElementBytes));
    }

    void openContent() {
        if (pendingOpen) {
            element.content += '>';
            pendingOpen = false;
        }
    }

    static void onStart(void* self, const xmlChar* localName, const xmlChar* prefix, const xmlChar*,
                        int, const xmlChar**, int attributeCount, int, const xmlChar** attributes) {
        Parser& p = *static_cast<Parser*>(self);
        p.sinceEvent = 0;
        if (p.stopped)
            return;
        ++p.depth;
        if (p.depth > p.reader.m_limits.maxDepth)
            return p.refuseLater(
                QStringLiteral("elements nested deeper than %1").arg(p.reader.m_limits.maxDepth));
        const auto takeAttributes = [&](std::vector<Attribute>& to) {
            to.resize(size_t(attributeCount));
            for (int k = 0; k < attributeCount; ++k) {
                const xmlChar* const* a = attributes + 5 * k;
                to[size_t(k)].name.clear();
                appendName(to[size_t(k)].name, a[1], a[0]);
                to[size_t(k)].value = attributeValue(a[3], a[4]);
            }
        };
        if (p.depth == 1) {
            if (prefix || view(localName) != "tv")
                return p.refuseLater(
                    QStringLiteral("its root element is <%1>, not <tv>: no XMLTV guide")
                        .arg(QString::fromUtf8(view(localName))));
            p.rootSeen = true;
            std::vector<Attribute> root;
            takeAttributes(root);
            p.handOn([&] { p.reader.m_handler.root(root); });
            return;
        }
        if (p.depth == 2) {
            p.mode = Mode::Skip;
            if (prefix)
                return;
            const QByteArrayView name = view(localName);
            if (name == "channel") {
                p.mode = Mode::Keep;
            } else if (name == "programme") {
                QByteArrayView channel;
                for (int k = 0; k < attributeCount; ++k)
                    if (!attributes[5 * k + 1] && view(attributes[5 * k]) == "channel")
                        channel = QByteArrayView(attributes[5 * k + 3], attributes[5 * k + 4]);
                // The id as attributeValue gives it, "&#38;" resolved.
                QByteArray decoded;
                if (channel.contains('&')) {
                    decoded = channel.toByteArray();
                    decoded.replace("&#38;", "&");
                    channel = decoded;
                }
                bool wanted = false;
                p.handOn([&] { wanted = p.reader.m_handler.wantsProgramme(channel); });
                if (wanted)
                    p.mode = Mode::Keep;
            }
            if (p.mode == Mode::Keep) {
                p.element.name = name.toByteArray();
                takeAttributes(p.element.attributes);
                p.element.content.clear();
                p.element.displayNames.clear();
                p.pendingOpen = false;
            }
            return;
        }
        if (p.mode != Mode::Keep)
            return;
        QByteArray& to = p.element.content;
        p.openContent();
        to += '<';
        appendName(to, prefix, localName);
        for (int k = 0; k < attributeCount; ++k) {
            const xmlChar* const* a = attributes + 5 * k;
            to += ' ';
            appendName(to, a[1], a[0]);
            to += "=\"";
            appendEscaped(to, attributeValue(a[3], a[4]), true);
            to += '"';
        }
        p.pendingOpen = true;
        if (p.depth == 3 && !prefix && p.element.name == "channel" &&
            view(localName) == "display-name") {
            p.element.displayNames.emplace_back();
            p.inDisplayName = true;
        }
        p.checkSize();
    }

    static void onEnd(void* self, const xmlChar* localName, const xmlChar* prefix, const xmlChar*) {
        Parser& p = *static_cast<Parser*>(self);
        p.sinceEvent = 0;
        if (p.stopped)
            return;
        if (p.depth == 2) {
            if (p.mode == Mode::Keep) {
                const bool channel = p.element.name == "channel";
                p.handOn([&] {
                    if (channel)
                        p.reader.m_handler.channel(p.element);
                    else
                        p.reader.m_handler.programme(p.element);
                });
            }
            p.mode = Mode::Outside;
        } else if (p.depth > 2 && p.mode == Mode::Keep) {
            QByteArray& to = p.element.content;
            if (p.pendingOpen) {
                to += "/>";
                p.pendingOpen = false;
            } else {
                to += "</";
                appendName(to, prefix, localName);
                to += '>';
            }
            if (p.depth == 3)
                p.inDisplayName = false;
        }
        if (p.depth == 1)
            p.rootEnded = true;
        --p.depth;
    }

    static void onText(void* self, const xmlChar* text, int length) {
        Parser& p = *static_cast<Parser*>(self);
        p.sinceEvent = 0;
        if (p.stopped || p.mode != Mode::Keep || p.depth < 2)
            return;
        const QByteArrayView piece(reinterpret_cast<const char*>(text), length);
        p.openContent();
        appendEscaped(p.element.content, piece, false);
        if (p.inDisplayName && p.depth == 3)
            p.element.displayNames.back() += piece;
        p.checkSize();
    }

    static void quiet(void*, const char*, ...) {}

    static void onDoctype(void* self, const xmlChar*, const xmlChar*, const xmlChar*) {
        static_cast<Parser*>(self)->refuseLater(
            QStringLiteral("it has a DOCTYPE, and a guide is read without one"));
    }

    static void onError(void* self, xmlErrorPtr error) {
        Parser& p = *static_cast<Parser*>(self);
        // Only what stops the parser: a namespace's error (a prefix never
        // declared) leaves the XML well-formed, and is told only when the
        // parser happens to look twice.
        if (!error || error->level < XML_ERR_FATAL || !p.error.isEmpty())
            return;
        p.error = QStringLiteral("line %1: %2")
                      .arg(error->line)
                      .arg(QString::fromUtf8(error->message ? error->message : "").trimmed());
    }

    GuideReader& reader;
    xmlSAXHandler sax;
    xmlParserCtxtPtr context = nullptr;
    int depth = 0;
    bool rootSeen = false;
    bool rootEnded = false;
    bool stopped = false;
    Mode mode = Mode::Outside;
    Element element;
    bool pendingOpen = false;   // a start tag in the content still without its '>'
    bool inDisplayName = false; // in a channel's <display-name>
    qsizetype sinceEvent = 0;   // bytes given since the parser last said anything
    std::exception_ptr failure;
    QString refusal;
    QString error;
};

// gzip or xz, unpacked as the bytes come.
struct GuideReader::Unpacker {
    enum class Kind { Gzip, Xz };

    Unpacker(Kind kind, const QString& name) : kind(kind), name(name) {
        out.resize(256 * 1024);
        if (kind == Kind::Gzip) {
            std::memset(&z, 0, sizeof z);
            if (inflateInit2(&z, 15 + 16) != Z_OK)
                throw std::bad_alloc();
        } else if (lzma_stream_decoder(&x, kXzMemoryLimit, LZMA_CONCATENATED) != LZMA_OK) {
            throw std::bad_alloc();
        }
    }
    ~Unpacker() {
        if (kind == Kind::Gzip)
            inflateEnd(&z);
        else
            lzma_end(&x);
    }

    // Thrown past the parser's events, and taken by the reader.
    struct Broken {
        QString reason;
    };
    [[noreturn]] void broken(const char* what) const { throw Broken{QString::fromUtf8(what)}; }

    // Unpacks `in`, handing each piece to `to`; with `last`, the input has
    // ended: false when the packed stream had not (it was cut short).
    bool unpack(QByteArrayView in, bool last, const std::function<void(QByteArrayView)>& to) {
        if (kind == Kind::Gzip)
            return gunzip(in, last, to);
        x.next_in = reinterpret_cast<const uint8_t*>(in.data());
        x.avail_in = size_t(in.size());
        while (true) {
            x.next_out = reinterpret_cast<uint8_t*>(out.data());
            x.avail_out = size_t(out.size());
            const lzma_ret ret = lzma_code(&x, last ? LZMA_FINISH : LZMA_RUN);
            const size_t made = size_t(out.size()) - x.avail_out;
            if (made)
                to(QByteArrayView(out.data(), qsizetype(made)));
            switch (ret) {
            case LZMA_OK:
                break;
            case LZMA_STREAM_END:
                return true;
            case LZMA_BUF_ERROR:
                return false; // no progress: the input ended inside the stream
            case LZMA_MEMLIMIT_ERROR:
                broken("it needs more memory than 100 MB to unpack");
            case LZMA_MEM_ERROR:
                throw std::bad_alloc();
            default:
                broken("the xz data is broken");
            }
            if (x.avail_in == 0 && x.avail_out != 0 && !last)
                return true;
        }
    }

    bool gunzip(QByteArrayView in, bool last, const std::function<void(QByteArrayView)>& to) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z.avail_in = uInt(in.size());
        while (true) {
            if (ended) {
                // Another member may follow: gzip files may be concatenated.
                if (z.avail_in == 0)
                    return true;
                inflateReset(&z);
                ended = false;
            }
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            const int ret = inflate(&z, Z_NO_FLUSH);
            const auto made = qsizetype(out.size()) - qsizetype(z.avail_out);
            if (made)
                to(QByteArrayView(out.data(), made));
            if (ret == Z_STREAM_END) {
                ended = true;
                continue;
            }
            if (ret == Z_MEM_ERROR)
                throw std::bad_alloc();
            if (ret == Z_DATA_ERROR || ret == Z_NEED_DICT || ret == Z_STREAM_ERROR)
                broken(z.msg ? z.msg : "the gzip data is broken");
            // Z_OK or Z_BUF_ERROR (nothing more to do with what it has).
            if (z.avail_in == 0 && z.avail_out != 0)
                return !last;
        }
    }

    Kind kind;
    QString name;
    QByteArray out;
    z_stream z;
    lzma_stream x = LZMA_STREAM_INIT;
    bool ended = false; // a gzip member has ended
};

GuideReader::GuideReader(GuideHandler& handler, QString name, GuideLimits limits)
    : m_handler(handler), m_name(std::move(name)), m_limits(limits),
      m_parser(std::make_unique<Parser>(*this)) {}

GuideReader::~GuideReader() = default;

void GuideReader::write(QByteArrayView piece) {
    try {
        take(piece);
    } catch (const Stop&) { // cut short: the rest is not read
    } catch (const Unpacker::Broken& broken) {
        brokenPacking(broken.reason);
    }
}

void GuideReader::brokenPacking(const QString& reason) {
    // What came before the break is all there is: the parser takes it as
    // the end, so that how much of it it had looked at makes no difference.
    if (m_parser->context && !m_finished) {
        try {
            parse({}, true);
        } catch (const Stop&) {
        } catch (const EReadError&) {
            if (m_parser->rootSeen)
                throw;
        }
    }
    m_finished = true;
    if (m_parser->rootEnded)
        return;
    // Inside a guide that had begun, as for broken XML: whether the parser
    // or the unpacking says so first depends on the pieces.
    if (m_parser->rootSeen) {
        m_cutShort = true;
        m_cutReason = QStringLiteral("the packed data is broken: %1").arg(reason);
        m_finished = true;
        return;
    }
    throw EReadError(QStringLiteral("Guide \"%1\" cannot be unpacked: %2.").arg(m_name, reason));
}

void GuideReader::take(QByteArrayView piece) {
    if (m_finished || piece.isEmpty())
        return;
    if (!m_started) {
        // Six bytes tell xz ("\xFD" "7zXZ" "\0") from gzip ("\x1F\x8B") and XML.
        m_head.append(piece);
        if (m_head.size() < 6)
            return;
        const QByteArray head = std::move(m_head);
        m_started = true;
        if (head.startsWith("\x1F\x8B"))
            m_unpacker = std::make_unique<Unpacker>(Unpacker::Kind::Gzip, m_name);
        else if (head.startsWith(QByteArrayView("\xFD"
                                                "7zXZ\0",
                                                6)))
            m_unpacker = std::make_unique<Unpacker>(Unpacker::Kind::Xz, m_name);
        take(head);
        return;
    }
    if (m_unpacker)
        m_unpacker->unpack(piece, false, [this](QByteArrayView bytes) { parse(bytes, false); });
    else
        parse(piece, false);
}

void GuideReader::finish() {
    try {
        end();
    } catch (const Stop&) {
    } catch (const Unpacker::Broken& broken) {
        brokenPacking(broken.reason);
    }
    m_finished = true;
}

void GuideReader::end() {
    if (m_finished)
        return;
    if (!m_started) {
        m_started = true;
        const QByteArray head = std::move(m_head);
        if (!head.isEmpty())
            parse(head, false);
    }
    bool whole = true;
    if (m_unpacker)
        whole = m_unpacker->unpack({}, true, [this](QByteArrayView bytes) { parse(bytes, false); });
    parse({}, true);
    m_finished = true;
    // The parser may also stop without a word (input it could not convert).
    if (!m_parser->rootSeen)
        throw EReadError(
            QStringLiteral("Guide \"%1\" is not well-formed XML: no <tv> in it.").arg(m_name));
    if (!m_parser->rootEnded && !m_cutShort) {
        m_cutShort = true;
        m_cutReason = QStringLiteral("it ends inside <tv>");
    }
    if (!whole && !m_cutShort) {
        m_cutShort = true;
        m_cutReason = QStringLiteral("the packed data ends early");
    }
}

bool GuideReader::convertsEncoding() const {
    const xmlParserCtxtPtr context = m_parser->context;
    if (!context)
        return false;
    if (context->input && context->input->buf && context->input->buf->encoder)
        return true;
    // Declared, if the parser has given up its converter by now.
    const QByteArray declared =
        context->encoding ? QByteArray(reinterpret_cast<const char*>(context->encoding)).toUpper()
                          : QByteArray();
    return !declared.isEmpty() && declared != "UTF-8" && declared != "UTF8" &&
           declared != "US-ASCII" && declared != "ASCII";
}

void GuideReader::finishCut(const QString& reason) {
    finish();
    if (!m_cutShort) {
        m_cutShort = true;
        m_cutReason = reason;
    }
}

void GuideReader::parse(QByteArrayView bytes, bool last) {
    if (m_finished)
        return;
    if (!m_parser->context) {
        if (last && bytes.isEmpty() && m_read == 0)
            throw EReadError(QStringLiteral("Guide \"%1\" is empty.").arg(m_name));
        const QByteArrayView first = bytes.first(std::min<qsizetype>(bytes.size(), 4));
        m_parser->start(first);
        m_read += first.size();
        bytes = bytes.sliced(first.size());
    }
    do {
        const QByteArrayView step = bytes.first(std::min(bytes.size(), kParseStep));
        bytes = bytes.sliced(step.size());
        m_read += step.size();
        const bool end = last && bytes.isEmpty();
        if (m_parser->parse(step, end))
            continue;
        // Past the end of <tv>, the guide is whole: what follows is no part
        // of it.
        if (m_parser->rootEnded) {
            m_finished = true;
            throw Stop();
        }
        // The XML went wrong inside a guide that had begun: it was cut short
        // there (a guide that simply stops looks to the parser like one
        // broken at its end, and which of the two it says depends on how
        // much it had seen), and everything whole before it stands. Before
        // its root, it is no guide.
        if (m_parser->rootSeen) {
            m_cutShort = true;
            m_cutReason = m_parser->error;
            m_finished = true;
            throw Stop();
        }
        throw EReadError(QStringLiteral("Guide \"%1\" is not well-formed XML: %2.")
                             .arg(m_name, m_parser->error));
    } while (!bytes.isEmpty());
}

void readGuideFile(const QString& fileName, GuideReader& reader) {
    const int fd = platform::openForReading(fileName);
    if (fd < 0)
        throw EFOpenError(cannotOpenMessage(fileName, errno));
    struct Closer {
        int fd;
        ~Closer() { platform::closeFile(fd); }
    } closer{fd};
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    while (true) {
        const long long got = platform::readSome(fd, buffer.data(), buffer.size());
        if (got < 0)
            throw EReadError(
                QStringLiteral("%1. %2").arg(cannotOpenText(fileName), sysErrorMessage(errno)));
        if (got == 0)
            break;
        reader.write(QByteArrayView(buffer.data(), qsizetype(got)));
    }
    reader.finish();
}

} // namespace dorvane::guide
