#include "source/provider/ProviderPlaylist.h"

#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <QDateTime>

#include <simdjson.h>

#include <algorithm>
#include <cstring>
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif
#include <string_view>

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
// No value may break its line.
void appendAttributeValue(QByteArray& out, std::string_view value) {
    size_t from = 0;
    for (size_t k = 0; k < value.size(); ++k) {
        const char c = value[k];
        if (c != '"' && c != '\r' && c != '\n' && c != '\t')
            continue;
        out.append(value.data() + from, qsizetype(k - from));
        out += c == '"' ? '\'' : ' ';
        from = k + 1;
    }
    out.append(value.data() + from, qsizetype(value.size() - from));
}

void appendName(QByteArray& out, std::string_view name) {
    size_t from = 0;
    for (size_t k = 0; k < name.size(); ++k) {
        const char c = name[k];
        if (c != '\r' && c != '\n' && c != '\t')
            continue;
        out.append(name.data() + from, qsizetype(k - from));
        out += ' ';
        from = k + 1;
    }
    out.append(name.data() + from, qsizetype(name.size() - from));
}

// A segment of an address's path, encoded as the login is.
void appendSegment(QByteArray& out, std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    if (plain)
        out.append(text.data(), qsizetype(text.size()));
    else
        out += QByteArray(text.data(), qsizetype(text.size())).toPercentEncoding();
}

void appendAttribute(QByteArray& out, std::string_view name, std::string_view value) {
    out += ' ';
    out.append(name.data(), qsizetype(name.size()));
    out += "=\"";
    appendAttributeValue(out, value);
    out += '"';
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

// Gives the pages of an answer already read back to the system while the
// rest is read: the answer and the playlist made of it are then not held
// whole at the same time (a provider's films are 80 MB of JSON). Only whole
// pages inside the answer go; they are never read again.
class ReleasedFront {
public:
    explicit ReleasedFront(QByteArray& answer) : m_released(answer.constData()) {}

    void upTo(const char* reached) {
#if defined(__linux__)
        const auto page = quintptr(::sysconf(_SC_PAGESIZE));
        const auto from = (quintptr(m_released) + page - 1) & ~(page - 1);
        const auto to = quintptr(reached) & ~(page - 1);
        if (to > from) {
            ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
            m_released = reinterpret_cast<const char*>(to);
        }
#else
        Q_UNUSED(reached);
#endif
    }

private:
    const char* m_released;
};

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
      m_user(percentEncodedLogin(m_login.user)), m_password(percentEncodedLogin(m_login.password)) {
    m_requests.push_back({providerRequest(m_login), {}});
    const auto add = [this](const char* action) {
        m_requests.push_back({providerRequest(m_login, action), action});
    };
    // Films first: their answer, the largest, is then read while no other
    // part of the playlist is held.
    if (m_login.movies) {
        add("get_vod_categories");
        add("get_vod_streams");
    }
    if (m_login.live) {
        add("get_live_categories");
        add("get_live_streams");
    }
    // Made empty and grown: a block with room before its data (as an
    // operator+ may give) is copied, not grown in place, when it grows.
    m_playlist.reserve(4096);
    m_playlist += "#EXTM3U url-tvg=\"" + m_server.toUtf8() + "/xmltv.php?username=" + m_user +
                  "&password=" + m_password + "\"\n";
    m_headSize = m_playlist.size();
}

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
                account.status = QString::fromUtf8(viewOf(textOf(value, scratch).substr(0, 100)));
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
                login +
                QStringLiteral("The account is %1").arg(account.status.toLower().simplified());
            if (account.status.compare(u"Expired", Qt::CaseInsensitive) == 0 &&
                account.expires >= 0)
                message += QStringLiteral(" since %1")
                               .arg(QDateTime::fromSecsSinceEpoch(account.expires, Qt::UTC)
                                        .toString(QStringLiteral("yyyy-MM-dd")));
            throw EFOpenError(hidden(message));
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

void ProviderPlaylist::take(size_t index, QByteArray answer) {
    const Request& request = m_requests.at(index);
    const QString name = requestName(request);
    // A provider could echo the password back in a status or an error's
    // text; no message shows it.
    const auto hidden = [this](QString message) {
        if (!m_login.password.isEmpty()) {
            message.replace(m_login.password, QStringLiteral("***"));
            message.replace(QString::fromLatin1(m_password), QStringLiteral("***"));
        }
        return message;
    };
    const auto bad = [&](const QString& reason) {
        return EFOpenError(hidden(QStringLiteral("Cannot read the provider's answer from \"%1\". "
                                                 "%2: %3")
                                      .arg(m_server, name, reason)));
    };
    if (request.action.isEmpty()) {
        takeAccount(answer, hidden, bad);
        return;
    }

    // The lists are read a batch of entries at a time: simdjson indexes
    // the whole of what it is given first, four bytes for each of its
    // tokens, which for a provider's 80 MB of films came to 60 MB.
    // The answer's pages are given back as they are read (ReleasedFront):
    // data() makes it this function's own first, should the caller still
    // share it.
    const char* at = answer.data();
    const char* const end = at + answer.size();
    at = skipSpace(at, end);
    if (at == end)
        throw bad(QStringLiteral("an empty answer"));
    if (*at != '[')
        throw bad(std::strchr("{\"-0123456789tfn", *at) ? QStringLiteral("not a JSON array")
                                                        : QStringLiteral("not valid JSON"));
    const bool categories = request.action.endsWith("_categories");
    const bool films = request.action.startsWith("get_vod");
    if (categories)
        m_categories.clear();
    const QByteArray prefix =
        m_server.toUtf8() + (films ? "/movie/" : "/live/") + m_user + '/' + m_password + '/';
    QByteArray& out = m_playlist;
    if (!films && !categories)
        m_liveStart = out.size();
    if (!categories) {
        // The lines take about two thirds of the answer's bytes. Room made
        // at once, on huge pages where the system has them: a fault per
        // 4 KiB page of 50 MB of lines took longer than reading the JSON.
        // Pages never written are never taken.
        out.reserve(out.size() + answer.size() * 3 / 4);
        adviseWholeBlock(out);
    }

    std::string scratch[8];
    json::parser parser;
    QByteArray batch;
    char* const data = answer.data();
    char* const dataEnd = data + answer.size();
    // The entries between the delimiters at `open` and `close` (the
    // bracket or comma before the first, the comma or bracket after the
    // last), read as one array: simdjson is given them in place, the
    // delimiters made its brackets and the byte after a space (what
    // simdjson finds past the end must not close anything), all three put
    // back after. Near the answer's end, where simdjson's padding would
    // run past it, the entries are copied.
    const auto readBatch = [&](char* open, char* close) {
        simdjson::padded_string_view view;
        char* closing = close;
        struct PutBack {
            char *open, *close;
            char before, after, following;
            ~PutBack() {
                if (open) {
                    *open = before;
                    *close = after;
                    close[1] = following;
                }
            }
        } putBack{nullptr, nullptr, 0, 0, 0};
        if (close + 1 + simdjson::SIMDJSON_PADDING <= dataEnd) {
            putBack = {open, close, *open, *close, close[1]};
            *open = '[';
            *close = ']';
            close[1] = ' ';
            view = simdjson::padded_string_view(open, size_t(close + 1 - open),
                                                size_t(dataEnd - open));
        } else {
            batch.resize(0);
            batch.reserve((close - open) + 1 + qsizetype(simdjson::SIMDJSON_PADDING));
            batch += '[';
            batch.append(open + 1, close - open - 1);
            batch += ']';
            closing = batch.data() + batch.size() - 1;
            view = paddedView(batch);
        }
        json::document document = parser.iterate(view);
        const char* lastEntry = nullptr;
        for (json::value entry : document.get_array()) {
            if (entry.type() != json::json_type::object)
                throw bad(QStringLiteral("an entry is not a JSON object"));
            lastEntry = std::string_view(entry.raw_json_token()).data();
            if (categories) {
                std::string_view id, title;
                for (auto field : entry.get_object()) {
                    const json::raw_json_string key = field.key();
                    if (key == "category_id"sv)
                        id = textOf(field.value(), scratch[0]);
                    else if (key == "category_name"sv)
                        title = textOf(field.value(), scratch[1]);
                }
                QByteArray group;
                appendAttributeValue(group, title);
                m_categories.insert(viewOf(id).toByteArray(), group);
                continue;
            }

            std::string_view title, streamId, icon, epgId, category, archive, days, container;
            for (auto field : entry.get_object()) {
                const json::raw_json_string key = field.key();
                if (key == "name"sv)
                    title = textOf(field.value(), scratch[0]);
                else if (key == "stream_id"sv)
                    streamId = textOf(field.value(), scratch[1]);
                else if (key == "stream_icon"sv)
                    icon = textOf(field.value(), scratch[2]);
                else if (key == "epg_channel_id"sv)
                    epgId = textOf(field.value(), scratch[3]);
                else if (key == "category_id"sv)
                    category = textOf(field.value(), scratch[4]);
                else if (key == "tv_archive"sv)
                    archive = textOf(field.value(), scratch[5]);
                else if (key == "tv_archive_duration"sv)
                    days = textOf(field.value(), scratch[6]);
                else if (key == "container_extension"sv)
                    container = textOf(field.value(), scratch[7]);
            }
            if (streamId.empty())
                continue; // nothing to address it by

            out += "#EXTINF:-1";
            if (!films)
                appendAttribute(out, "tvg-id", epgId);
            appendAttribute(out, "tvg-name", title);
            appendAttribute(out, "tvg-logo", icon);
            out += " group-title=\"";
            out += m_categories.value(
                QByteArray::fromRawData(category.data(), qsizetype(category.size())));
            out += '"';
            if (!films && isOne(archive)) {
                appendAttribute(out, "catchup", "xc");
                appendAttribute(out, "catchup-days", days.empty() ? "0"sv : days);
            }
            out += ',';
            appendName(out, title);
            out += '\n';
            out += prefix;
            appendSegment(out, streamId);
            out += '.';
            if (films)
                // A film without its container is most likely an MP4 file.
                appendSegment(out, container.empty() ? "mp4"sv : container);
            else
                out += m_extension;
            out += '\n';
            ++m_entries;
        }
        // The array may have ended before `close` only on a bracket of
        // the answer's own (simdjson 3.0 says nothing of what follows the
        // document): the last entry must reach `close`.
        if (lastEntry && endOfValue(lastEntry, closing + 1) != closing)
            throw simdjson::simdjson_error(simdjson::TAPE_ERROR);
    };

    try {
        char* first = data + (at - data) + 1;
        at = skipSpace(first, dataEnd);
        if (at < dataEnd && *at == ']') {
            at = skipSpace(at + 1, dataEnd);
        } else {
            ReleasedFront released(answer);
            const std::string_view opening = openingOf(at, dataEnd);
            for (;;) {
                // A batch cut where it most likely ends, between entries;
                // the last one where the answer's last bracket is. Should
                // that be no end of entries, simdjson fails on the batch
                // (a string left open, brackets that do not pair, the
                // array closed early) and the batch is read again as cut
                // by a scan that skips strings whole (endOfValue): the
                // same entries, at a quarter of the speed.
                char* close = nullptr;
                if (dataEnd - first > kBatchBytes + kBatchBytes / 2) {
                    close = const_cast<char*>(likelyCut(first + kBatchBytes, dataEnd, opening));
                } else {
                    char* last = dataEnd;
                    while (last > first && (last[-1] == ' ' || last[-1] == '\t' ||
                                            last[-1] == '\n' || last[-1] == '\r'))
                        --last;
                    if (last > first && last[-1] == ']')
                        close = last - 1;
                }
                if (close) {
                    const qsizetype written = out.size();
                    const qsizetype entries = m_entries;
                    bool read = true;
                    try {
                        readBatch(first - 1, close);
                    } catch (const simdjson::simdjson_error&) {
                        read = false;
                    } catch (const EFOpenError&) {
                        read = false;
                    }
                    if (read) {
                        released.upTo(close);
                        first = close + 1;
                        if (*close == ']') {
                            at = dataEnd;
                            break;
                        }
                        continue;
                    }
                    out.resize(written);
                    m_entries = entries;
                }

                char* delimiter = first;
                at = first;
                for (;;) {
                    delimiter = const_cast<char*>(endOfValue(at, dataEnd));
                    if (delimiter == dataEnd)
                        throw bad(QStringLiteral("not valid JSON"));
                    if (*delimiter == ']' || delimiter - first >= kBatchBytes)
                        break;
                    at = delimiter + 1;
                }
                readBatch(first - 1, delimiter);
                released.upTo(delimiter);
                first = delimiter + 1;
                if (*delimiter == ']') {
                    at = skipSpace(first, dataEnd);
                    break;
                }
            }
        }
        if (at != dataEnd)
            throw bad(QStringLiteral("not valid JSON"));
    } catch (const simdjson::simdjson_error&) {
        throw bad(QStringLiteral("not valid JSON"));
    }
}

QByteArray ProviderPlaylist::takePlaylist() {
    // The films were read first, live TV after them; live TV goes first,
    // swapped in place: a copy of either would be held beside the whole.
    if (m_liveStart > m_headSize) {
        char* data = m_playlist.data();
        std::rotate(data + m_headSize, data + m_liveStart, data + m_playlist.size());
    }
    m_liveStart = 0;
    return std::move(m_playlist);
}

QByteArray readProviderPlaylist(const ProviderLogin& login, const ProviderFetch& fetch) {
    ProviderPlaylist playlist(login);
    for (size_t k = 0; k < playlist.requests().size(); ++k)
        playlist.take(k, fetch(playlist.requests()[k].url));
    return playlist.takePlaylist();
}

bool holdsChannels(const QByteArray& bytes) {
    TStringList lines;
    lines.setText(decodeFileBytes(bytes, TEncoding::UTF8()));
    return channelCount(lines) > 0;
}

QByteArray readGetAddress(const QUrl& url, const ProviderLogin& login, const ProviderFetch& fetch,
                          bool& fellBack) {
    fellBack = false;
    try {
        QByteArray bytes = fetch(url);
        if (holdsChannels(bytes))
            return bytes;
    } catch (const EFOpenError&) {
        // Many providers block their M3U address; the interface still answers.
    }
    fellBack = true;
    return readProviderPlaylist(login, fetch);
}

} // namespace dorvane
