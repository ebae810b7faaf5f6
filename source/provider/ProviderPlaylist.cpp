#include "source/provider/ProviderPlaylist.h"

#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/Playlist.h"
#include "playlist/ShownText.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"
#include "simd/Ascii.h"

#include <QDateTime>

#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <new>
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif
#include <string_view>
#include <thread>

namespace dorvane {

namespace json = simdjson::ondemand;

namespace {

using std::string_view_literals::operator""sv;

QString requestNameOf(QByteArrayView action) {
    return action.isEmpty() ? QStringLiteral("player_api.php") : QString::fromLatin1(action);
}

std::string_view trimmedRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The four hex digits at `at`, or -1.
int hexValue(std::string_view text, size_t at) {
    if (at + 4 > text.size())
        return -1;
    int value = 0;
    for (size_t k = at; k < at + 4; ++k) {
        const char c = text[k];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// A JSON string's contents (without its quotes) unescaped into `out`. An
// escape that is no escape is kept as written; a lone surrogate, or U+0000,
// which would end the text, becomes U+FFFD.
void unescapeJson(std::string_view text, std::string& out) {
    out.clear();
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '\\' || k + 1 >= text.size()) {
            out += text[k];
            continue;
        }
        const char escaped = text[++k];
        switch (escaped) {
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            int code = hexValue(text, k + 1);
            if (code < 0) {
                out += "\\u";
                break;
            }
            k += 4;
            char32_t c = char32_t(code);
            if (code >= 0xD800 && code < 0xDC00 && k + 2 < text.size() && text[k + 1] == '\\' &&
                text[k + 2] == 'u') {
                const int low = hexValue(text, k + 3);
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((char32_t(code) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
                    k += 6;
                }
            }
            if ((c >= 0xD800 && c < 0xE000) || c == 0)
                c = 0xFFFD;
            appendUtf8(out, c);
            break;
        }
        default: // " \ / and anything else
            out += escaped;
        }
    }
}

// A field's value as text: a string's contents, a number or a boolean as
// written (providers send ids either way); null, an object or an array
// give nothing. A string is read from the answer itself, and unescaped
// into `scratch` only when it holds an escape: simdjson's own unescaping
// would copy every string read into a buffer as large as the answer.
std::string_view textOf(json::value value, std::string& scratch) {
    switch (value.type()) {
    case json::json_type::string: {
        std::string_view token = trimmedRight(value.raw_json_token());
        if (token.size() < 2)
            return {};
        token = token.substr(1, token.size() - 2);
        if (token.find('\\') == std::string_view::npos)
            return token;
        unescapeJson(token, scratch);
        return scratch;
    }
    case json::json_type::number:
    case json::json_type::boolean:
        return trimmedRight(value.raw_json_token());
    default:
        return {};
    }
}

bool isOne(std::string_view text) {
    return text == "1"sv || text == "true"sv;
}

// In an attribute's value a quote would end it: it becomes an apostrophe.
// No value may break its line, nor hold a control character
// (playlist/ShownText.h).
void appendAttributeValue(QByteArray& out, std::string_view value) {
    const qsizetype at = out.size();
    out.resize(at + qsizetype(value.size()));
    char* const end = shown::putShown(out.data() + at, value.data(), value.size(), true, true);
    out.resize(end - out.constData());
}

// The lines are written through a pointer into room made for the longest
// they can be: appending piece by piece to the block (a call, a check of
// its room, a terminating zero each) took a tenth of the run.
char* put(char* at, std::string_view text) {
    if (!text.empty()) // an empty view may have no data at all
        std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// The text with every CR, LF, TAB and other control character a space, and
// with `quote` every quote an apostrophe; the runs between them copied whole.
char* putReplaced(char* at, std::string_view text, bool quote) {
    return shown::putShown(at, text.data(), text.size(), quote, true);
}

// appendAttributeValue's, byte for byte.
char* putAttributeValue(char* at, std::string_view value) {
    return putReplaced(at, value, true);
}

// An attribute's value as put: ` NAME="VALUE"`.
char* putAttribute(char* at, std::string_view name, std::string_view value) {
    *at++ = ' ';
    at = put(at, name);
    *at++ = '=';
    *at++ = '"';
    at = putAttributeValue(at, value);
    *at++ = '"';
    return at;
}

// No name may break its line.
char* putName(char* at, std::string_view name) {
    return putReplaced(at, name, false);
}

// A segment of an address's path, encoded as the login is: every byte but
// A-Z a-z 0-9 - . _ ~ as %XX, upper-case hex. At most three bytes a byte.
char* putSegment(char* at, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            *at++ = c;
        } else {
            *at++ = '%';
            *at++ = kHex[(uchar(c) >> 4) & 15];
            *at++ = kHex[uchar(c) & 15];
        }
    }
    return at;
}

QByteArrayView viewOf(std::string_view text) {
    return QByteArrayView(text.data(), qsizetype(text.size()));
}

// simdjson reads up to SIMDJSON_PADDING bytes past the end of its input.
// Growing a large block in place costs no copy.
simdjson::padded_string_view paddedView(QByteArray& answer) {
    answer.reserve(answer.size() + qsizetype(simdjson::SIMDJSON_PADDING));
    return simdjson::padded_string_view(answer.constData(), size_t(answer.size()),
                                        size_t(answer.capacity()));
}

} // namespace

// Huge pages for the whole of a large block, the pages it shares at its ends
// included. adviseHugePages advises only the whole huge pages inside a
// buffer, which splits its mapping in three; the allocator can then no
// longer grow it in place (mremap refuses a range of several mappings) and
// copies it instead, holding it twice. The advice changes no byte.
void adviseWholeBlock(QByteArray& block) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (block.capacity() < 4 * 1024 * 1024)
        return;
    const auto page = quintptr(::sysconf(_SC_PAGESIZE));
    const auto from = quintptr(block.data()) & ~(page - 1);
    const auto to = (quintptr(block.data() + block.capacity()) + page - 1) & ~(page - 1);
    ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    Q_UNUSED(block);
#endif
}

// Faults in the pages of the lines' room on a thread of its own, while the
// reading thread downloads and reads: on the virtual machine of
// bench/README.md each first touch of a megabyte takes more than a
// millisecond, 100 ms for a provider's 75 MB of lines, and the second
// processor is mostly idle meanwhile. Writing into pages being faulted in
// is safe; should the block move meanwhile, the advice fails on what is
// gone, or faults in memory of another's, and changes no byte either way.
class Prefault {
public:
    Prefault() = default;
    Prefault(const Prefault&) = delete;
    Prefault& operator=(const Prefault&) = delete;
    ~Prefault() { wait(); }

    void start(char* from, char* to) {
        wait();
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
        const auto page = quintptr(::sysconf(_SC_PAGESIZE));
        const auto begin = (quintptr(from) + page - 1) & ~(page - 1);
        const auto end = quintptr(to) & ~(page - 1);
        if (end > begin && end - begin >= 4 * 1024 * 1024)
            m_thread = std::thread([begin, end] {
                ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
            });
#else
        Q_UNUSED(from);
        Q_UNUSED(to);
#endif
    }

    void wait() {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};

constexpr qsizetype kBatchBytes = 1024 * 1024;

const char* skipSpace(const char* at, const char* end) {
    while (at < end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r'))
        ++at;
    return at;
}

// Where the array's element that begins at `at` ends: at the comma or the
// closing bracket after it, or `end` when there is none. Strings are
// skipped whole, escaped quotes and all; whether the element is JSON is
// simdjson's to say.
const char* endOfValue(const char* at, const char* end) {
    int depth = 0;
    while (at < end) {
        switch (*at) {
        case '"':
            for (const char* from = at + 1;;) {
                const auto* quote =
                    static_cast<const char*>(std::memchr(from, '"', size_t(end - from)));
                if (!quote)
                    return end;
                const char* slashes = quote;
                while (slashes > from && slashes[-1] == '\\')
                    --slashes;
                from = quote + 1;
                if ((quote - slashes) % 2 == 0) {
                    at = quote;
                    break;
                }
            }
            break;
        case '{':
        case '[':
            ++depth;
            break;
        case '}':
        case ']':
            if (depth == 0)
                return at;
            --depth;
            break;
        case ',':
            if (depth == 0)
                return at;
            break;
        default:
            break;
        }
        ++at;
    }
    return end;
}

// Where a batch that is to end about `from` most likely ends: the first comma
// from there that stands between a closing and an opening brace (`},{`,
// spaces allowed), best one whose next entry begins as the batch's first
// does (`opening`, up to its first key's colon: a provider writes every
// entry's keys in the same order). A `},{` inside a string or a nested list
// rarely repeats that too. Null when there is none before `end`. A guess
// only, checked by reading the batch (readBatch).
const char* likelyCut(const char* from, const char* end, std::string_view opening) {
    const char* fallback = nullptr;
    for (int tries = 0; tries < 64 && from < end; ++tries) {
        const auto* brace = static_cast<const char*>(std::memchr(from, '}', size_t(end - from)));
        if (!brace)
            break;
        from = brace + 1;
        const char* comma = skipSpace(from, end);
        if (comma == end || *comma != ',')
            continue;
        const char* open = skipSpace(comma + 1, end);
        if (open == end || *open != '{')
            continue;
        if (size_t(end - open) >= opening.size() &&
            std::memcmp(open, opening.data(), opening.size()) == 0)
            return comma;
        if (!fallback)
            fallback = comma;
    }
    return fallback;
}

// The start of an entry up to its first key's colon, or nothing when that
// is not near.
std::string_view openingOf(const char* entry, const char* end) {
    const char* limit = std::min(end, entry + 64);
    const auto* colon = static_cast<const char*>(std::memchr(entry, ':', size_t(limit - entry)));
    return colon ? std::string_view(entry, size_t(colon + 1 - entry)) : std::string_view();
}

QString requestName(const ProviderPlaylist::Request& request) {
    return requestNameOf(request.action);
}

ProviderPlaylist::ProviderPlaylist(ProviderLogin login)
    : m_login(std::move(login)), m_server(serverText(m_login.server)),
      m_user(percentEncodedLogin(m_login.user)),
      m_password(percentEncodedLogin(m_login.password)), m_maxBytes(kMaxPlaylistBytes) {
    m_requests.push_back({providerRequest(m_login), {}});
    const auto add = [this](const char* action) {
        m_requests.push_back({providerRequest(m_login, action), action});
    };
    // Live TV first, as the playlist lists it: each answer's lines are
    // written as it is read, and none is held whole (Reader).
    if (m_login.live) {
        add("get_live_categories");
        add("get_live_streams");
    }
    if (m_login.movies) {
        add("get_vod_categories");
        add("get_vod_streams");
    }
    // Made empty and grown: a block with room before its data (as an
    // operator+ may give) is copied, not grown in place, when it grows.
    m_playlist.reserve(4096);
    m_playlist += "#EXTM3U url-tvg=\"" + m_server.toUtf8() + "/xmltv.php?username=" + m_user +
                  "&password=" + m_password + "\"\n";
    m_reader = std::make_unique<Reader>(*this);
}

ProviderPlaylist::~ProviderPlaylist() = default;

namespace {

struct Account {
    bool found = false;
    bool authorised = false;
    QString status;
    qint64 expires = -1;
    bool hasFormats = false, allowsTs = false, allowsM3u8 = false;
};

Account readAccount(json::document& document) {
    Account account;
    for (auto field : document.get_object()) {
        if (!(field.key() == "user_info"sv))
            continue;
        json::value info = field.value();
        if (info.type() != json::json_type::object)
            continue;
        account.found = true;
        std::string scratch;
        for (auto item : info.get_object()) {
            const json::raw_json_string key = item.key();
            json::value value = item.value();
            if (key == "auth"sv) {
                account.authorised = isOne(textOf(value, scratch));
            } else if (key == "status"sv) {
                // Cut for the message only once the password is masked
                // (ProviderPlaylist::takeAccount): cut first, its start could
                // show.
                account.status = QString::fromUtf8(viewOf(textOf(value, scratch).substr(0, 4096)));
            } else if (key == "exp_date"sv) {
                bool ok = false;
                const qint64 seconds = viewOf(textOf(value, scratch)).toByteArray().toLongLong(&ok);
                account.expires = ok ? seconds : -1;
            } else if (key == "allowed_output_formats"sv &&
                       value.type() == json::json_type::array) {
                account.hasFormats = true;
                for (json::value format : value.get_array()) {
                    const std::string_view text = textOf(format, scratch);
                    account.allowsTs |= text == "ts"sv;
                    account.allowsM3u8 |= text == "m3u8"sv;
                }
            }
        }
    }
    return account;
}

} // namespace

template <typename Hidden, typename Bad>
void ProviderPlaylist::takeAccount(QByteArray& answer, const Hidden& hidden, const Bad& bad) {
    json::parser parser;
    json::document document;
    json::json_type type;
    try {
        document = parser.iterate(paddedView(answer));
        type = document.type();
    } catch (const simdjson::simdjson_error& error) {
        throw bad(error.error() == simdjson::EMPTY ? QStringLiteral("an empty answer")
                                                   : QStringLiteral("not valid JSON"));
    }

    try {
        if (type != json::json_type::object)
            throw bad(QStringLiteral("not a JSON object"));
        const Account account = readAccount(document);
        if (!account.found)
            throw bad(QStringLiteral("no user_info"));
        const QString login = QStringLiteral("Cannot log in to \"%1\". ").arg(m_server);
        if (!account.authorised)
            throw EFOpenError(login + QStringLiteral("Wrong user name or password"));
        if (!account.status.isEmpty() &&
            account.status.compare(u"Active", Qt::CaseInsensitive) != 0) {
            QString message =
                login + QStringLiteral("The account is %1")
                            .arg(hidden(account.status).left(100).toLower().simplified());
            if (account.status.compare(u"Expired", Qt::CaseInsensitive) == 0 &&
                account.expires >= 0)
                message += QStringLiteral(" since %1")
                               .arg(QDateTime::fromSecsSinceEpoch(account.expires, Qt::UTC)
                                        .toString(QStringLiteral("yyyy-MM-dd")));
            throw EFOpenError(hidden(message));
        }
        // Past its date and still served: the list is made, and the user
        // told why it may soon stop working.
        if (account.expires > 0 && account.expires < QDateTime::currentSecsSinceEpoch()) {
            m_expiredOn = QDateTime::fromSecsSinceEpoch(account.expires, Qt::UTC).date();
            m_warnings.append(
                QStringLiteral("The account expired on %1, but the provider still answers")
                    .arg(m_expiredOn.toString(QStringLiteral("yyyy-MM-dd"))));
        }
        switch (m_login.streamFormat) {
        case StreamFormat::Ts:
            m_extension = "ts";
            break;
        case StreamFormat::M3u8:
            m_extension = "m3u8";
            break;
        case StreamFormat::Auto:
            m_extension =
                account.hasFormats && !account.allowsTs && account.allowsM3u8 ? "m3u8" : "ts";
        }
    } catch (const simdjson::simdjson_error&) {
        throw bad(QStringLiteral("not valid JSON"));
    }
}

// Reads one answer after the other as it comes (a BodySink), a batch of
// entries at a time: simdjson indexes the whole of what it is given first,
// four bytes for each of its tokens, which for a provider's 80 MB of films
// came to 60 MB; and the answer itself is never held whole, only the
// entries not read yet (a megabyte or two, in one buffer that stays in the
// cache): the first touch of 115 MB of fresh memory for the answers took
// longer than reading them.
class ProviderPlaylist::Reader final : public BodySink {
public:
    explicit Reader(ProviderPlaylist& owner) : m_owner(owner) {}

    void start(size_t index) {
        const QByteArray& action = m_owner.m_requests.at(index).action;
        m_index = index;
        m_stage = action.isEmpty() ? Stage::Account : Stage::Before;
        m_categoriesAnswer = action.endsWith("_categories");
        m_films = action.startsWith("get_vod");
        m_pending.resize(0);
        m_opening.clear();
        m_begun = false;
        m_waitFor = 0;
        if (m_categoriesAnswer)
            m_owner.m_categories.clear();
        m_prefix = m_owner.m_server.toUtf8() + (m_films ? "/movie/" : "/live/") + m_owner.m_user +
                   '/' + m_owner.m_password + '/';
    }

    void begin(qint64 size) override {
        // The lines take about two thirds of the answer's bytes.
        if (size > 0 && m_stage != Stage::Account && !m_categoriesAnswer)
            room(size * 3 / 4);
    }

    void write(QByteArrayView piece) override {
        switch (m_stage) {
        case Stage::Account:
            keep(piece);
            return;
        case Stage::Before: {
            const char* at = skipSpace(piece.begin(), piece.end());
            if (at == piece.end())
                return;
            if (*at != '[')
                throw bad(std::strchr("{\"-0123456789tfn", *at) ? QStringLiteral("not a JSON array")
                                                                : QStringLiteral("not valid JSON"));
            // The bracket stays: each batch is read with the delimiter
            // before it as its opening bracket.
            m_stage = Stage::Entries;
            piece = piece.sliced(at - piece.begin());
            [[fallthrough]];
        }
        case Stage::Entries:
            keep(piece);
            if (m_pending.size() >= std::max(kFirstTry, m_waitFor))
                readEntriesChecked(false);
            return;
        case Stage::After:
            if (skipSpace(piece.begin(), piece.end()) != piece.end())
                throw bad(QStringLiteral("not valid JSON"));
            return;
        }
    }

    void finish() {
        switch (m_stage) {
        case Stage::Account:
            m_owner.takeAccount(
                m_pending, [this](QString message) { return hidden(message); },
                [this](const QString& reason) { return bad(reason); });
            break;
        case Stage::Before:
            throw bad(QStringLiteral("an empty answer"));
        case Stage::Entries:
            readEntriesChecked(true);
            break;
        case Stage::After:
            break;
        }
        // The buffer serves the next answer, its pages touched already;
        // one grown for an entry of many megabytes is let go of.
        if (m_pending.capacity() > 4 * kBatchBytes)
            m_pending = QByteArray();
    }

    // A provider could echo the password back in a status or an error's
    // text; no message shows it, in whatever case or form the message has
    // made of it: the server's text is masked as it came and once more as
    // it is shown, in any case, its blank space collapsed or not.
    QString hidden(QString message) const {
        const QString& password = m_owner.m_login.password;
        if (!password.isEmpty()) {
            for (const QString& form :
                 {password, QString::fromLatin1(m_owner.m_password), password.simplified()})
                if (!form.isEmpty())
                    message.replace(form, QStringLiteral("***"), Qt::CaseInsensitive);
        }
        return message;
    }

    EFOpenError bad(const QString& reason) const {
        return EFOpenError(hidden(
            QStringLiteral("Cannot read the provider's answer from \"%1\". "
                           "%2: %3")
                .arg(m_owner.m_server, requestName(m_owner.m_requests.at(m_index)), reason)));
    }

private:
    enum class Stage { Account, Before, Entries, After };
    // A batch is cut once this much waits: a megabyte and the rest of the
    // entry the cut falls in.
    static constexpr qsizetype kFirstTry = kBatchBytes + kBatchBytes / 2;

    // Keeps bytes not read yet, with simdjson's padding after them.
    void keep(QByteArrayView piece) {
        const qsizetype needed =
            m_pending.size() + piece.size() + qsizetype(simdjson::SIMDJSON_PADDING);
        if (m_pending.capacity() < needed)
            m_pending.reserve(std::max(needed, 2 * m_pending.capacity()));
        m_pending.append(piece);
    }

    // Room for `bytes` more of lines, on huge pages where the system has
    // them: a fault per 4 KiB page of 50 MB of lines took longer than
    // reading the JSON. Grown by doubling, which moves a large block's
    // pages (mremap) and copies none. Pages never written are never taken.
    void room(qsizetype bytes) {
        QByteArray& out = m_owner.m_playlist;
        if (out.capacity() - out.size() >= bytes)
            return;
        m_prefault.wait(); // the block may move
        out.reserve(std::max(out.size() + bytes, 2 * out.capacity()));
        adviseWholeBlock(out);
        m_prefault.start(out.data() + out.size(), out.data() + out.capacity());
    }

public:
    // Before the lines are handed on.
    void settle() {
        m_prefault.wait();
        // The block's growth moved pages that were huge; the lines are read
        // once more, whole, by the conversion.
        QByteArray& out = m_owner.m_playlist;
        collapseHugePages(out.data(), out.size());
    }

private:
    void readEntriesChecked(bool atEnd) {
        try {
            readEntries(atEnd);
        } catch (const simdjson::simdjson_error&) {
            throw bad(QStringLiteral("not valid JSON"));
        }
    }

    // Reads the entries waiting: m_pending holds the delimiter before the
    // first (the list's bracket or a comma), then the entries. At the end
    // of the answer all of them, the list's closing bracket and nothing
    // but spaces after it; before, whole batches, the rest kept.
    void readEntries(bool atEnd) {
        for (;;) {
            // Blank space after the delimiter is let go of at once: kept, it
            // was scanned again with every piece that came after it (a list
            // of gigabytes of spaces ran for minutes), and held.
            dropSpaceAfterDelimiter();
            char* const data = m_pending.data();
            char* const end = data + m_pending.size();
            char* const first = data + 1;
            if (!m_begun) {
                const char* at = first;
                if (at == end) {
                    if (atEnd)
                        throw bad(QStringLiteral("not valid JSON"));
                    return;
                }
                if (*at == ']') { // an empty list
                    endOfList(const_cast<char*>(at));
                    return;
                }
                m_opening = std::string(openingOf(at, end));
            }
            // A batch cut where it most likely ends, between entries; the
            // last one where the answer's last bracket is. Should that be
            // no end of entries, simdjson fails on the batch (a string
            // left open, brackets that do not pair, the array closed
            // early) and the batch is read again as cut by a scan that
            // skips strings whole (endOfValue): the same entries, at a
            // quarter of the speed.
            char* close = nullptr;
            if (!atEnd) {
                if (end - first < kFirstTry)
                    return;
                close = const_cast<char*>(likelyCut(first + kBatchBytes, end, m_opening));
            } else {
                char* last = end;
                while (last > first && (last[-1] == ' ' || last[-1] == '\t' || last[-1] == '\n' ||
                                        last[-1] == '\r'))
                    --last;
                if (last > first && last[-1] == ']')
                    close = last - 1;
            }
            if (close && tryBatch(first - 1, close)) {
                if (!next(close))
                    return;
                continue;
            }

            char* delimiter = nullptr;
            bool open = false; // the last entry goes on past what has come
            for (const char* at = first;;) {
                const char* found = endOfValue(at, end);
                if (found == end) {
                    open = true;
                    break;
                }
                delimiter = const_cast<char*>(found);
                if (*found == ']' || found - first >= kBatchBytes)
                    break;
                at = found + 1;
            }
            if (open && atEnd)
                throw bad(QStringLiteral("not valid JSON"));
            if (!delimiter) {
                // One entry longer than a batch: read once more of it has
                // come, at twice the bytes, so that it is scanned only a
                // few times over.
                m_waitFor = m_pending.size() * 2;
                return;
            }
            readBatch(first - 1, delimiter);
            if (!next(delimiter))
                return;
        }
    }

    void dropSpaceAfterDelimiter() {
        char* const first = m_pending.data() + 1;
        char* const end = m_pending.data() + m_pending.size();
        const char* at = skipSpace(first, end);
        if (at == first)
            return;
        std::memmove(first, at, size_t(end - at));
        m_pending.resize(m_pending.size() - (at - first));
    }

    // After a batch read up to `close`: false at the end of the list.
    bool next(char* close) {
        m_begun = true;
        m_waitFor = 0;
        if (*close == ']') {
            endOfList(close);
            return false;
        }
        // The rest moves to the front, the comma before it first.
        const qsizetype rest = m_pending.constData() + m_pending.size() - close;
        std::memmove(m_pending.data(), close, size_t(rest));
        m_pending.resize(rest);
        return true;
    }

    void endOfList(char* bracket) {
        const char* end = m_pending.constData() + m_pending.size();
        if (skipSpace(bracket + 1, end) != end)
            throw bad(QStringLiteral("not valid JSON"));
        m_pending.resize(0);
        m_stage = Stage::After;
    }

    // readBatch, as a guess of the cut: false, with nothing written, when
    // it failed.
    bool tryBatch(char* open, char* close) {
        QByteArray& out = m_owner.m_playlist;
        const qsizetype written = out.size();
        const qsizetype entries = m_owner.m_entries;
        try {
            readBatch(open, close);
            return true;
        } catch (const simdjson::simdjson_error&) {
        } catch (const EFOpenError&) {
        }
        out.resize(written);
        m_owner.m_entries = entries;
        return false;
    }

    // The entries between the delimiters at `open` and `close` (the
    // bracket or comma before the first, the comma or bracket after the
    // last), read as one array, in place: the delimiters made its
    // brackets and the byte after a space (what simdjson finds past the
    // end must close nothing), all three put back after.
    void readBatch(char* open, char* close) {
        struct PutBack {
            char *open, *close;
            char before, after, following;
            ~PutBack() {
                *open = before;
                *close = after;
                close[1] = following;
            }
        } putBack{open, close, *open, *close, close[1]};
        *open = '[';
        *close = ']';
        close[1] = ' ';
        room(close - open);
        // The parser's index made once, for the usual batch and more: made
        // again for each batch a little longer than the last, it was fresh
        // memory, faulted in, a fifth of the run's faults.
        const auto length = size_t(close + 1 - open);
        if (m_parser.capacity() < length &&
            m_parser.allocate(std::max(length, size_t(4 * kBatchBytes))) != simdjson::SUCCESS)
            throw std::bad_alloc();
        json::document document = m_parser.iterate(simdjson::padded_string_view(
            open, size_t(close + 1 - open),
            size_t(m_pending.constData() + m_pending.capacity() - open)));
        const char* lastEntry = nullptr;
        // The lines are written up to `end` into the block made as long as
        // its room for the batch, and it is cut back to them after: made
        // longer and shorter for each entry, it was 4 % of the reading.
        QByteArray& out = m_owner.m_playlist;
        struct CutBack {
            QByteArray& out;
            qsizetype end;
            ~CutBack() { out.resize(end); }
        } lines{out, out.size()};
        out.resize(out.capacity());
        for (json::value entry : document.get_array()) {
            if (entry.type() != json::json_type::object)
                throw bad(QStringLiteral("an entry is not a JSON object"));
            lastEntry = std::string_view(entry.raw_json_token()).data();
            if (m_categoriesAnswer) {
                std::string_view id, title;
                for (auto field : entry.get_object()) {
                    const json::raw_json_string key = field.key();
                    if (key == "category_id"sv)
                        id = textOf(field.value(), m_scratch[0]);
                    else if (key == "category_name"sv)
                        title = textOf(field.value(), m_scratch[1]);
                }
                QByteArray group;
                appendAttributeValue(group, title);
                m_owner.m_categories.insert(viewOf(id).toByteArray(), group);
                continue;
            }

            std::string_view title, streamId, icon, epgId, category, archive, days, container;
            for (auto field : entry.get_object()) {
                // By the key's first letter first: an entry has twice as
                // many fields as the lines take, each compared with all of
                // their keys before.
                const json::raw_json_string key = field.key();
                switch (*key.raw()) {
                case 'n':
                    if (key == "name"sv)
                        title = textOf(field.value(), m_scratch[0]);
                    break;
                case 's':
                    if (key == "stream_id"sv)
                        streamId = textOf(field.value(), m_scratch[1]);
                    else if (key == "stream_icon"sv)
                        icon = textOf(field.value(), m_scratch[2]);
                    break;
                case 'e':
                    if (key == "epg_channel_id"sv)
                        epgId = textOf(field.value(), m_scratch[3]);
                    break;
                case 'c':
                    if (key == "category_id"sv)
                        category = textOf(field.value(), m_scratch[4]);
                    else if (key == "container_extension"sv)
                        container = textOf(field.value(), m_scratch[7]);
                    break;
                case 't':
                    if (key == "tv_archive"sv)
                        archive = textOf(field.value(), m_scratch[5]);
                    else if (key == "tv_archive_duration"sv)
                        days = textOf(field.value(), m_scratch[6]);
                    break;
                default:
                    break;
                }
            }
            if (streamId.empty())
                continue; // nothing to address it by

            const auto group = m_owner.m_categories.constFind(
                QByteArray::fromRawData(category.data(), qsizetype(category.size())));
            const QByteArrayView groupText =
                group == m_owner.m_categories.cend() ? QByteArrayView() : QByteArrayView(*group);
            const std::string_view extension =
                m_films ? (container.empty() ? "mp4"sv : container) // most likely an MP4 file
                        : std::string_view(m_owner.m_extension.constData(),
                                           size_t(m_owner.m_extension.size()));
            const qsizetype longest =
                qsizetype(128 + epgId.size() + 2 * title.size() + icon.size() + days.size() +
                          3 * (streamId.size() + extension.size())) +
                groupText.size() + m_prefix.size();
            if (out.size() - lines.end < longest) {
                out.resize(lines.end);
                room(longest);
                out.resize(out.capacity());
            }
            char* const start = out.data();
            char* at = put(start + lines.end, "#EXTINF:-1");
            if (!m_films)
                at = putAttribute(at, "tvg-id", epgId);
            at = putAttribute(at, "tvg-name", title);
            at = putAttribute(at, "tvg-logo", icon);
            at = put(at, " group-title=\"");
            at = put(at, std::string_view(groupText.data(), size_t(groupText.size())));
            *at++ = '"';
            if (!m_films && isOne(archive)) {
                at = putAttribute(at, "catchup", "xc");
                at = putAttribute(at, "catchup-days", days.empty() ? "0"sv : days);
            }
            *at++ = ',';
            at = putName(at, title);
            *at++ = '\n';
            at = put(at, std::string_view(m_prefix.constData(), size_t(m_prefix.size())));
            at = putSegment(at, streamId);
            *at++ = '.';
            if (m_films)
                at = putSegment(at, extension);
            else
                at = put(at, extension);
            *at++ = '\n';
            lines.end = at - start;
            ++m_owner.m_entries;
        }
        if (lines.end > m_owner.m_maxBytes)
            throw EFOpenError(
                hidden(QStringLiteral("Cannot read from \"%1\". The list made from the provider "
                                      "would pass 1 GiB")
                           .arg(m_owner.m_server)));
        // The array may have ended before `close` only on a bracket of the
        // answer's own (simdjson 3.0 says nothing of what follows the
        // document): the last entry must reach `close`.
        if (lastEntry && endOfValue(lastEntry, close + 1) != close)
            throw simdjson::simdjson_error(simdjson::TAPE_ERROR);
    }

    ProviderPlaylist& m_owner;
    size_t m_index = 0;
    Stage m_stage = Stage::Before;
    bool m_categoriesAnswer = false, m_films = false;
    bool m_begun = false; // a batch of this answer read
    QByteArray m_prefix;
    QByteArray m_pending;
    std::string m_opening; // of the answer's first entry (likelyCut)
    qsizetype m_waitFor = 0;
    std::string m_scratch[8];
    json::parser m_parser;
    Prefault m_prefault; // last: joined first
};

BodySink& ProviderPlaylist::answer(size_t index) {
    m_reader->start(index);
    return *m_reader;
}

void ProviderPlaylist::finish() {
    m_reader->finish();
}

void ProviderPlaylist::take(size_t index, QByteArrayView answer) {
    BodySink& sink = this->answer(index);
    sink.begin(answer.size());
    // In pieces, as a download gives it.
    for (qsizetype at = 0; at < answer.size(); at += kBatchBytes)
        sink.write(answer.sliced(at, std::min(kBatchBytes, answer.size() - at)));
    finish();
}

QByteArray ProviderPlaylist::takePlaylist() {
    m_reader->settle();
    return std::move(m_playlist);
}

QByteArray readProviderPlaylist(const ProviderLogin& login, const ProviderFetch& fetch,
                                QStringList* warnings) {
    ProviderPlaylist playlist(login);
    for (size_t k = 0; k < playlist.requests().size(); ++k) {
        fetch(playlist.requests()[k].url, playlist.answer(k));
        playlist.finish();
    }
    if (warnings)
        *warnings += playlist.warnings();
    return playlist.takePlaylist();
}

bool holdsChannels(const QByteArray& bytes) {
    TStringList lines;
    lines.setText(decodeFileBytes(bytes, TEncoding::UTF8()));
    return channelCount(lines) > 0;
}

QByteArray readGetAddress(const QUrl& url, const ProviderLogin& login, const ProviderFetch& fetch,
                          bool& fellBack, QStringList* warnings) {
    fellBack = false;
    try {
        WholeBody body;
        fetch(url, body);
        QByteArray bytes = body.take();
        if (holdsChannels(bytes))
            return bytes;
    } catch (const EFOpenError&) {
        // Many providers block their M3U address; the interface still answers.
    }
    fellBack = true;
    return readProviderPlaylist(login, fetch, warnings);
}

} // namespace dorvane
