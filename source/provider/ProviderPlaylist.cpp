#include "source/provider/ProviderPlaylist.h"

#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/Playlist.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <QDateTime>

#include <simdjson.h>

#include <algorithm>
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

// A field's value as text: a string unescaped, a number or a boolean as
// written (providers send ids either way); null, an object or an array
// give nothing.
std::string_view textOf(json::value value) {
    switch (value.type()) {
    case json::json_type::string:
        return value.get_string();
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
    if (m_login.live) {
        add("get_live_categories");
        add("get_live_streams");
    }
    if (m_login.movies) {
        add("get_vod_categories");
        add("get_vod_streams");
    }
    m_playlist = "#EXTM3U url-tvg=\"" + m_server.toUtf8() + "/xmltv.php?username=" + m_user +
                 "&password=" + m_password + "\"\n";
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
        if (field.unescaped_key() != "user_info"sv)
            continue;
        json::value info = field.value();
        if (info.type() != json::json_type::object)
            continue;
        account.found = true;
        for (auto item : info.get_object()) {
            const std::string_view key = item.unescaped_key();
            json::value value = item.value();
            if (key == "auth"sv) {
                account.authorised = isOne(textOf(value));
            } else if (key == "status"sv) {
                account.status = QString::fromUtf8(viewOf(textOf(value).substr(0, 100)));
            } else if (key == "exp_date"sv) {
                bool ok = false;
                const qint64 seconds = viewOf(textOf(value)).toByteArray().toLongLong(&ok);
                account.expires = ok ? seconds : -1;
            } else if (key == "allowed_output_formats"sv &&
                       value.type() == json::json_type::array) {
                account.hasFormats = true;
                for (json::value format : value.get_array()) {
                    const std::string_view text = textOf(format);
                    account.allowsTs |= text == "ts"sv;
                    account.allowsM3u8 |= text == "m3u8"sv;
                }
            }
        }
    }
    return account;
}

} // namespace

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
        if (request.action.isEmpty()) {
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
            return;
        }

        if (type != json::json_type::array)
            throw bad(QStringLiteral("not a JSON array"));
        const bool categories = request.action.endsWith("_categories");
        const bool films = request.action.startsWith("get_vod");
        if (categories)
            m_categories.clear();
        const QByteArray prefix =
            m_server.toUtf8() + (films ? "/movie/" : "/live/") + m_user + '/' + m_password + '/';

        for (json::value entry : document.get_array()) {
            if (entry.type() != json::json_type::object)
                throw bad(QStringLiteral("an entry is not a JSON object"));
            if (categories) {
                std::string_view id, title;
                for (auto field : entry.get_object()) {
                    const std::string_view key = field.unescaped_key();
                    if (key == "category_id"sv)
                        id = textOf(field.value());
                    else if (key == "category_name"sv)
                        title = textOf(field.value());
                }
                QByteArray group;
                appendAttributeValue(group, title);
                m_categories.insert(viewOf(id).toByteArray(), group);
                continue;
            }

            std::string_view title, streamId, icon, epgId, category, archive, days, container;
            for (auto field : entry.get_object()) {
                const std::string_view key = field.unescaped_key();
                if (key == "name"sv)
                    title = textOf(field.value());
                else if (key == "stream_id"sv)
                    streamId = textOf(field.value());
                else if (key == "stream_icon"sv)
                    icon = textOf(field.value());
                else if (key == "epg_channel_id"sv)
                    epgId = textOf(field.value());
                else if (key == "category_id"sv)
                    category = textOf(field.value());
                else if (key == "tv_archive"sv)
                    archive = textOf(field.value());
                else if (key == "tv_archive_duration"sv)
                    days = textOf(field.value());
                else if (key == "container_extension"sv)
                    container = textOf(field.value());
            }
            if (streamId.empty())
                continue; // nothing to address it by

            m_playlist += "#EXTINF:-1";
            if (!films)
                appendAttribute(m_playlist, "tvg-id", epgId);
            appendAttribute(m_playlist, "tvg-name", title);
            appendAttribute(m_playlist, "tvg-logo", icon);
            m_playlist += " group-title=\"";
            m_playlist += m_categories.value(
                QByteArray::fromRawData(category.data(), qsizetype(category.size())));
            m_playlist += '"';
            if (!films && isOne(archive)) {
                appendAttribute(m_playlist, "catchup", "xc");
                appendAttribute(m_playlist, "catchup-days", days.empty() ? "0"sv : days);
            }
            m_playlist += ',';
            appendName(m_playlist, title);
            m_playlist += '\n';
            m_playlist += prefix;
            appendSegment(m_playlist, streamId);
            m_playlist += '.';
            if (films)
                // A film without its container is most likely an MP4 file.
                appendSegment(m_playlist, container.empty() ? "mp4"sv : container);
            else
                m_playlist += m_extension;
            m_playlist += '\n';
            ++m_entries;
        }
    } catch (const simdjson::simdjson_error&) {
        throw bad(QStringLiteral("not valid JSON"));
    }
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
