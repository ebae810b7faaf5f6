#include "convert/Recipe.h"

#include "convert/TargetOptions.h"

#include "convert/TargetFormat.h"
#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/Platform.h"
#include "playlist/SystemError.h"
#include "playlist/TextFile.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <memory>
#include <optional>

namespace dorvane {

size_t qHash(const ChannelKey& key, size_t seed) {
    return qHashMulti(seed, key.id, key.group, key.name);
}

std::vector<RecipeSource> Recipe::sources() const {
    std::vector<RecipeSource> all{source};
    all.insert(all.end(), moreSources.begin(), moreSources.end());
    return all;
}

void Recipe::clearChoice() {
    filter = ChannelFilter();
    channelsOff.clear();
    channelsOn.clear();
}

// Reading -----------------------------------------------------------------

namespace {

constexpr int kRecipeVersion = 1;

[[noreturn]] void fail(const QString& reason) {
    throw EReadError(reason);
}

// A value as it stands in the file, for a message: short values whole.
QString jsonText(const QJsonValue& value) {
    QString text =
        QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    text = text.mid(1, text.size() - 2);
    if (text.size() > 60)
        text = text.left(57) + QStringLiteral("...");
    return text;
}

[[noreturn]] void wrongValue(const QString& what, const char* expected, const QJsonValue& value) {
    fail(QStringLiteral("%1 must be %2, not %3.")
             .arg(what, QLatin1String(expected), jsonText(value)));
}

QString quoted(QStringView name) {
    return QStringLiteral("\"%1\"").arg(name);
}

// A member of an object: "name" in "source".
QString within(QStringView member, const QString& where) {
    return QStringLiteral("%1 in %2").arg(quoted(member), where);
}

// Every member of `object` must be one of `known`: a misspelt member would
// otherwise be ignored without a word, and the recipe do something else.
void checkMembers(const QJsonObject& object, std::initializer_list<QLatin1String> known,
                  const QString& where) {
    for (auto member = object.begin(); member != object.end(); ++member) {
        const QString key = member.key();
        if (std::find(known.begin(), known.end(), key) != known.end())
            continue;
        if (where.isEmpty())
            fail(QStringLiteral("Unknown member %1.").arg(quoted(key)));
        fail(QStringLiteral("Unknown member %1 in %2.").arg(quoted(key), where));
    }
}

QJsonObject objectOf(const QJsonValue& value, const QString& what) {
    if (!value.isObject())
        wrongValue(what, "an object", value);
    return value.toObject();
}

QString stringOf(const QJsonValue& value, const QString& what, bool mayBeEmpty = true) {
    if (!value.isString())
        wrongValue(what, "a string", value);
    if (!mayBeEmpty && value.toString().isEmpty())
        wrongValue(what, "a text that is not empty", value);
    return value.toString();
}

bool boolOf(const QJsonValue& value, const QString& what) {
    if (!value.isBool())
        wrongValue(what, "true or false", value);
    return value.toBool();
}

QJsonArray arrayOf(const QJsonValue& value, const QString& what) {
    if (!value.isArray())
        wrongValue(what, "an array", value);
    return value.toArray();
}

QString itemName(const QString& what, qsizetype k) {
    return QStringLiteral("item %1 of %2").arg(k + 1).arg(what);
}

QStringList stringsOf(const QJsonValue& value, const QString& what) {
    QStringList strings;
    const QJsonArray array = arrayOf(value, what);
    for (qsizetype k = 0; k < array.size(); ++k)
        strings.append(stringOf(array[k], itemName(what, k)));
    return strings;
}

ChannelKey channelOf(const QJsonValue& value, const QString& what) {
    const QJsonObject object = objectOf(value, what);
    ChannelKey key;
    if (object.contains(QLatin1String("id"))) {
        checkMembers(object, {QLatin1String("id")}, what);
        key.id = stringOf(object.value(QLatin1String("id")), within(u"id", what), false);
        return key;
    }
    checkMembers(object, {QLatin1String("group"), QLatin1String("name")}, what);
    if (!object.contains(QLatin1String("name")))
        fail(QStringLiteral("%1 needs \"id\", or \"group\" and \"name\".").arg(what));
    key.group = stringOf(object.value(QLatin1String("group")), within(u"group", what));
    key.name = stringOf(object.value(QLatin1String("name")), within(u"name", what));
    return key;
}

std::vector<ChannelKey> channelsOf(const QJsonValue& value, const QString& what) {
    std::vector<ChannelKey> keys;
    const QJsonArray array = arrayOf(value, what);
    keys.reserve(size_t(array.size()));
    for (qsizetype k = 0; k < array.size(); ++k)
        keys.push_back(channelOf(array[k], itemName(what, k)));
    return keys;
}

// A path from the file, relative to its folder unless absolute.
QString pathOf(const QJsonValue& value, const QString& what, const QString& folder) {
    const QString path = stringOf(value, what, false);
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

// A source: `what` names it in messages ("source", "item 2 of "sources"").
RecipeSource sourceOf(const QJsonValue& value, const QString& folder, const QString& what) {
    const QJsonObject object = objectOf(value, what);
    RecipeSource source;
    const auto member = [&](const char* name) { return object.value(QLatin1String(name)); };
    const auto memberName = [&](QStringView name) { return within(name, what); };
    const QLatin1String optional("optional");
    if (object.contains(QLatin1String("file"))) {
        checkMembers(object, {QLatin1String("file"), optional}, what);
        source.kind = RecipeSource::Kind::File;
        source.file = pathOf(member("file"), memberName(u"file"), folder);
    } else if (object.contains(QLatin1String("url"))) {
        checkMembers(object, {QLatin1String("url"), optional}, what);
        source.kind = RecipeSource::Kind::Url;
        source.url = stringOf(member("url"), memberName(u"url"), false);
    } else if (object.contains(QLatin1String("provider"))) {
        checkMembers(object,
                     {QLatin1String("provider"), QLatin1String("user"), QLatin1String("password"),
                      QLatin1String("live"), QLatin1String("movies"), optional},
                     what);
        source.kind = RecipeSource::Kind::Provider;
        source.server = stringOf(member("provider"), memberName(u"provider"), false);
        source.user = stringOf(member("user"), memberName(u"user"));
        if (object.contains(QLatin1String("password")))
            source.password = stringOf(member("password"), memberName(u"password"));
        if (object.contains(QLatin1String("live")))
            source.live = boolOf(member("live"), memberName(u"live"));
        if (object.contains(QLatin1String("movies")))
            source.movies = boolOf(member("movies"), memberName(u"movies"));
    } else {
        checkMembers(object, {optional}, what);
        fail(QStringLiteral("%1 needs \"file\", \"url\" or \"provider\".").arg(what));
    }
    if (object.contains(optional))
        source.optional = boolOf(member("optional"), memberName(u"optional"));
    return source;
}

// "line L, column C" of a byte offset, both from 1, the column in characters.
QString positionText(const QByteArray& text, qsizetype offset) {
    offset = std::clamp<qsizetype>(offset, 0, text.size());
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype k = 0; k < offset; ++k)
        if (text[k] == '\n') {
            ++line;
            lineStart = k + 1;
        }
    int column = 1;
    for (qsizetype k = lineStart; k < offset; ++k)
        if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) // not a continuation byte
            ++column;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

QByteArray readRecipeBytes(const QString& fileName) {
    const int fd = platform::openForReading(fileName);
    if (fd < 0)
        fail(sysErrorMessage(errno));
    const platform::FileCloser closer(fd);
    QByteArray bytes;
    char buffer[64 * 1024];
    while (true) {
        const long long got = platform::readSome(fd, buffer, sizeof buffer);
        if (got < 0)
            fail(sysErrorMessage(errno));
        if (got == 0)
            return bytes;
        if (bytes.size() + got > kMaxPlaylistBytes)
            fail(QStringLiteral("File too large"));
        bytes.append(buffer, qsizetype(got));
    }
}

} // namespace

// "guides", "guide-out", "guide-ids" and "guide-shift".
static void readGuideMembers(const QJsonObject& root, const QString& folder, GuideSettings& guide) {
    const auto nameOf = [](const char* name) { return quoted(QString::fromLatin1(name)); };
    const auto member = [&](const char* name) { return root.value(QLatin1String(name)); };
    if (root.contains(QLatin1String("guides")))
        guide.guides = stringsOf(member("guides"), nameOf("guides"));
    if (root.contains(QLatin1String("guide-out")))
        guide.output = pathOf(member("guide-out"), nameOf("guide-out"), folder);
    const auto items = [&](const char* name, auto take) {
        if (!root.contains(QLatin1String(name)))
            return;
        const QString what = nameOf(name);
        const QJsonArray array = arrayOf(member(name), what);
        for (qsizetype k = 0; k < array.size(); ++k) {
            const QString item = itemName(what, k);
            take(objectOf(array[k], item), item);
        }
    };
    items("guide-ids", [&](const QJsonObject& object, const QString& item) {
        checkMembers(object, {QLatin1String("channel"), QLatin1String("id")}, item);
        const ChannelKey key =
            channelOf(object.value(QLatin1String("channel")), within(u"channel", item));
        guide.ids.push_back(
            {key.id, key.group, key.name,
             stringOf(object.value(QLatin1String("id")), within(u"id", item), false)});
    });
    items("guide-shift", [&](const QJsonObject& object, const QString& item) {
        checkMembers(object,
                     {QLatin1String("group"), QLatin1String("channel"), QLatin1String("shift")},
                     item);
        GuideSettings::Shift shift;
        const QJsonValue hours = object.value(QLatin1String("shift"));
        if (!hours.isDouble() ||
            !parseGuideShift(QString::number(hours.toDouble()), shift.halfHours))
            wrongValue(within(u"shift", item), "hours in halves, from -24 to 24", hours);
        if (object.contains(QLatin1String("channel"))) {
            const ChannelKey key =
                channelOf(object.value(QLatin1String("channel")), within(u"channel", item));
            shift.channelId = key.id;
            shift.group = key.group;
            shift.name = key.name;
        } else if (object.contains(QLatin1String("group"))) {
            shift.byGroup = true;
            shift.group = stringOf(object.value(QLatin1String("group")), within(u"group", item));
        } else {
            fail(QStringLiteral("%1 needs \"group\" or \"channel\".").arg(item));
        }
        guide.shifts.push_back(shift);
    });
    items("service-ids", [&](const QJsonObject& object, const QString& item) {
        checkMembers(object, {QLatin1String("channel"), QLatin1String("ids")}, item);
        const ChannelKey key =
            channelOf(object.value(QLatin1String("channel")), within(u"channel", item));
        guide.serviceIds.push_back(
            {key.id, key.group, key.name,
             stringOf(object.value(QLatin1String("ids")), within(u"ids", item), false)});
    });
}

Recipe parseRecipe(const QByteArray& json, const QString& folder) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        fail(QStringLiteral("Not JSON at %1: %2.")
                 .arg(positionText(json, error.offset), error.errorString()));
    if (!document.isObject())
        fail(QStringLiteral("A recipe is a JSON object: { ... }."));
    const QJsonObject root = document.object();
    checkMembers(root, {QLatin1String("dorvane-recipe"), QLatin1String("source"),
                        QLatin1String("groups"),         QLatin1String("exclude-groups"),
                        QLatin1String("match"),          QLatin1String("dedupe"),
                        QLatin1String("channels-off"),   QLatin1String("channels-on"),
                        QLatin1String("names"),          QLatin1String("group-names"),
                        QLatin1String("group-order"),    QLatin1String("channel-order"),
                        QLatin1String("sort"),           QLatin1String("target"),
                        QLatin1String("ansi"),           QLatin1String("codepage"),
                        QLatin1String("enigma2-type"),   QLatin1String("bouquet-name"),
                        QLatin1String("output"),         QLatin1String("gone"),
                        QLatin1String("sources"),        QLatin1String("send-to"),
                        QLatin1String("box-password"),   QLatin1String("prefix"),
                        QLatin1String("per-group"),      QLatin1String("slugs"),
                        QLatin1String("guides"),         QLatin1String("guide-out"),
                        QLatin1String("guide-ids"),      QLatin1String("guide-shift"),
                        QLatin1String("service-ids")},
                 {});

    const auto has = [&](const char* name) { return root.contains(QLatin1String(name)); };
    const auto member = [&](const char* name) { return root.value(QLatin1String(name)); };
    const auto nameOf = [](const char* name) { return quoted(QString::fromLatin1(name)); };

    if (!has("dorvane-recipe"))
        fail(QStringLiteral("\"dorvane-recipe\" is missing: this is no recipe."));
    const QJsonValue version = member("dorvane-recipe");
    if (!version.isDouble())
        wrongValue(nameOf("dorvane-recipe"), "a number", version);
    if (version.toDouble() != kRecipeVersion)
        fail(QStringLiteral("Recipe version %1 is not supported (only %2 is).")
                 .arg(jsonText(version))
                 .arg(kRecipeVersion));
    if (has("source") && has("sources"))
        fail(QStringLiteral("\"source\" and \"sources\" cannot both be given."));
    if (!has("source") && !has("sources"))
        fail(QStringLiteral("\"source\" is missing."));

    Recipe recipe;
    if (has("source")) {
        recipe.source = sourceOf(member("source"), folder, nameOf("source"));
    } else {
        const QString what = nameOf("sources");
        const QJsonArray array = arrayOf(member("sources"), what);
        if (array.isEmpty())
            wrongValue(what, "a list of sources", member("sources"));
        for (qsizetype k = 0; k < array.size(); ++k) {
            const RecipeSource source = sourceOf(array[k], folder, itemName(what, k));
            if (k == 0)
                recipe.source = source;
            else
                recipe.moreSources.push_back(source);
        }
    }
    if (has("groups"))
        recipe.filter.groups = stringsOf(member("groups"), nameOf("groups"));
    if (has("exclude-groups"))
        recipe.filter.excludedGroups =
            stringsOf(member("exclude-groups"), nameOf("exclude-groups"));
    if (has("match"))
        recipe.filter.match = stringOf(member("match"), nameOf("match"));
    if (has("dedupe")) {
        const QJsonValue dedupe = member("dedupe");
        if (dedupe.isBool())
            recipe.filter.onePerAddress = dedupe.toBool();
        else if (dedupe == QJsonValue(QStringLiteral("address")))
            recipe.filter.onePerAddress = true;
        else if (dedupe == QJsonValue(QStringLiteral("guide-id")))
            recipe.onePerGuideId = true;
        else
            wrongValue(nameOf("dedupe"), "true, false, \"address\" or \"guide-id\"", dedupe);
    }
    if (has("channels-off"))
        recipe.channelsOff = channelsOf(member("channels-off"), nameOf("channels-off"));
    if (has("channels-on"))
        recipe.channelsOn = channelsOf(member("channels-on"), nameOf("channels-on"));
    if (has("names")) {
        const QString what = nameOf("names");
        const QJsonArray array = arrayOf(member("names"), what);
        for (qsizetype k = 0; k < array.size(); ++k) {
            const QString item = itemName(what, k);
            const QJsonObject object = objectOf(array[k], item);
            checkMembers(object, {QLatin1String("channel"), QLatin1String("name")}, item);
            recipe.names.push_back(
                {channelOf(object.value(QLatin1String("channel")), within(u"channel", item)),
                 stringOf(object.value(QLatin1String("name")), within(u"name", item))});
        }
    }
    if (has("group-names")) {
        const QString what = nameOf("group-names");
        const QJsonArray array = arrayOf(member("group-names"), what);
        for (qsizetype k = 0; k < array.size(); ++k) {
            const QString item = itemName(what, k);
            const QJsonObject object = objectOf(array[k], item);
            checkMembers(object, {QLatin1String("group"), QLatin1String("name")}, item);
            recipe.groupNames.push_back(
                {stringOf(object.value(QLatin1String("group")), within(u"group", item)),
                 stringOf(object.value(QLatin1String("name")), within(u"name", item))});
        }
    }
    if (has("group-order"))
        recipe.groupOrder = stringsOf(member("group-order"), nameOf("group-order"));
    if (has("channel-order"))
        recipe.channelOrder = channelsOf(member("channel-order"), nameOf("channel-order"));
    if (has("sort")) {
        const QString sort = stringOf(member("sort"), nameOf("sort"));
        if (sort == u"name")
            recipe.sort = RecipeSort::Name;
        else if (sort != u"source")
            wrongValue(nameOf("sort"), "\"source\" or \"name\"", member("sort"));
    }
    if (has("target")) {
        recipe.target = stringOf(member("target"), nameOf("target"));
        if (!formatByCliName(recipe.target))
            fail(QStringLiteral("Unknown target \"%1\" in \"target\".").arg(recipe.target));
    }
    if (has("ansi"))
        recipe.ansi = boolOf(member("ansi"), nameOf("ansi"));
    if (has("codepage")) {
        const QJsonValue value = member("codepage");
        const double number = value.toDouble();
        if (!value.isDouble() || number != double(int(number)))
            wrongValue(nameOf("codepage"), "a code page's number", value);
        if (!isSupportedAnsiCodePage(int(number)))
            fail(QStringLiteral("Unsupported code page %1 in \"codepage\".").arg(int(number)));
        recipe.codePage = int(number);
    }
    if (has("enigma2-type")) {
        const QJsonValue value = member("enigma2-type");
        if (!value.isDouble() || !TargetOptions::isEnigma2Type(value.toInt()) ||
            value.toDouble() != double(value.toInt()))
            wrongValue(nameOf("enigma2-type"), "4097, 5001 or 5002", value);
        recipe.enigma2Type = value.toInt();
    }
    if (has("bouquet-name"))
        recipe.bouquetName = stringOf(member("bouquet-name"), nameOf("bouquet-name"));
    if (has("output"))
        recipe.output = pathOf(member("output"), nameOf("output"), folder);
    if (has("gone")) {
        const QString gone = stringOf(member("gone"), nameOf("gone"));
        if (gone == u"accept")
            recipe.acceptGone = true;
        else if (gone != u"report")
            wrongValue(nameOf("gone"), "\"report\" or \"accept\"", member("gone"));
    }
    RecipeReceiver& receiver = recipe.receiver;
    if (has("send-to"))
        receiver.address = stringOf(member("send-to"), nameOf("send-to"), false);
    if (has("box-password"))
        receiver.password = stringOf(member("box-password"), nameOf("box-password"));
    if (has("prefix"))
        receiver.prefix = stringOf(member("prefix"), nameOf("prefix"), false);
    if (has("per-group"))
        receiver.perGroup = boolOf(member("per-group"), nameOf("per-group"));
    if (has("slugs")) {
        const QString what = nameOf("slugs");
        const QJsonArray array = arrayOf(member("slugs"), what);
        for (qsizetype k = 0; k < array.size(); ++k) {
            const QString item = itemName(what, k);
            const QJsonObject object = objectOf(array[k], item);
            checkMembers(object, {QLatin1String("group"), QLatin1String("slug")}, item);
            const QString slug =
                stringOf(object.value(QLatin1String("slug")), within(u"slug", item), false);
            // A part of a file name on the receiver: nothing that leads elsewhere.
            if (!std::all_of(slug.begin(), slug.end(), [](QChar c) {
                    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
                }))
                fail(
                    QStringLiteral("%1 is not made of a-z, 0-9 and _.").arg(within(u"slug", item)));
            receiver.slugs.push_back(
                {stringOf(object.value(QLatin1String("group")), within(u"group", item)), slug});
        }
    }
    readGuideMembers(root, folder, recipe.guide);
    return recipe;
}

Recipe readRecipe(const QString& fileName) {
    try {
        return parseRecipe(readRecipeBytes(fileName), QFileInfo(fileName).absolutePath());
    } catch (const Exception& error) {
        throw EReadError(
            QStringLiteral("Cannot read recipe \"%1\". %2").arg(fileName, error.Message()));
    }
}

// Writing -----------------------------------------------------------------

namespace {

QByteArray jsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray stringsText(const QStringList& strings) {
    QByteArray text = "[";
    for (qsizetype k = 0; k < strings.size(); ++k) {
        if (k > 0)
            text += ", ";
        text += jsonString(strings[k]);
    }
    return text + ']';
}

QByteArray channelText(const ChannelKey& key) {
    if (key.byId())
        return "{\"id\": " + jsonString(key.id) + '}';
    return "{\"group\": " + jsonString(key.group) + ", \"name\": " + jsonString(key.name) + '}';
}

// An array of objects, one a line, so that a long list stays readable.
template <typename Item, typename Text>
QByteArray itemsText(const std::vector<Item>& items, Text text) {
    QByteArray out = "[";
    for (size_t k = 0; k < items.size(); ++k) {
        out += k > 0 ? ",\n        " : "\n        ";
        out += text(items[k]);
    }
    return out + "\n    ]";
}

// A path as a recipe file holds it: relative to the file's folder when it
// lies there, so that the folder may move with its playlist; else absolute.
QString pathText(const QString& path, const QString& folder) {
    const QString absolute = QDir::cleanPath(QDir(folder).absoluteFilePath(path));
    const QString relative = QDir(folder).relativeFilePath(absolute);
    if (relative.startsWith(QLatin1String("../")) || relative == u".." ||
        QDir::isAbsolutePath(relative))
        return absolute;
    return relative;
}

QByteArray sourceText(const RecipeSource& source, const QString& folder, bool storePassword) {
    QByteArray text;
    switch (source.kind) {
    case RecipeSource::Kind::File:
        text = "{\"file\": " + jsonString(pathText(source.file, folder));
        break;
    case RecipeSource::Kind::Url:
        text = "{\"url\": " + jsonString(source.url);
        break;
    case RecipeSource::Kind::Provider:
        text = "{\"provider\": " + jsonString(source.server) +
               ", \"user\": " + jsonString(source.user);
        if (storePassword && !source.password.isEmpty())
            text += ", \"password\": " + jsonString(source.password);
        text += QByteArray(", \"live\": ") + (source.live ? "true" : "false");
        text += QByteArray(", \"movies\": ") + (source.movies ? "true" : "false");
        break;
    }
    if (source.optional)
        text += ", \"optional\": true";
    return text + '}';
}

// Whether the recipe's text holds a password.
bool holdsPassword(const Recipe& recipe, bool storePassword) {
    if (!storePassword)
        return false;
    if (!recipe.receiver.password.isEmpty())
        return true;
    const std::vector<RecipeSource> sources = recipe.sources();
    return std::any_of(sources.begin(), sources.end(), [](const RecipeSource& source) {
        return source.kind == RecipeSource::Kind::Provider && !source.password.isEmpty();
    });
}

} // namespace

static void writeGuideMembers(const GuideSettings& guide, const QString& folder,
                              std::vector<std::pair<const char*, QByteArray>>& members) {
    if (!guide.guides.isEmpty())
        members.emplace_back("guides", stringsText(guide.guides));
    if (!guide.output.isEmpty())
        members.emplace_back("guide-out", jsonString(pathText(guide.output, folder)));
    if (!guide.ids.empty())
        members.emplace_back("guide-ids", itemsText(guide.ids, [](const GuideSettings::HandId& id) {
                                 return "{\"channel\": " +
                                        channelText(ChannelKey{id.channelId, id.group, id.name}) +
                                        ", \"id\": " + jsonString(id.guideId) + '}';
                             }));
    if (!guide.shifts.empty())
        members.emplace_back(
            "guide-shift", itemsText(guide.shifts, [](const GuideSettings::Shift& shift) {
                const QByteArray who =
                    shift.byGroup
                        ? "\"group\": " + jsonString(shift.group)
                        : "\"channel\": " +
                              channelText(ChannelKey{shift.channelId, shift.group, shift.name});
                QByteArray hours = guideShiftText(shift.halfHours).toUtf8();
                if (hours.startsWith('+'))
                    hours.remove(0, 1);
                return "{" + who + ", \"shift\": " + hours + '}';
            }));
    if (!guide.serviceIds.empty())
        members.emplace_back(
            "service-ids", itemsText(guide.serviceIds, [](const GuideSettings::ServiceId& id) {
                return "{\"channel\": " + channelText(ChannelKey{id.channelId, id.group, id.name}) +
                       ", \"ids\": " + jsonString(id.ids) + '}';
            }));
}

QByteArray recipeText(const Recipe& recipe, const QString& folder, bool storePassword) {
    std::vector<std::pair<const char*, QByteArray>> members;
    members.emplace_back("dorvane-recipe", QByteArray::number(kRecipeVersion));

    if (recipe.moreSources.empty()) {
        members.emplace_back("source", sourceText(recipe.source, folder, storePassword));
    } else {
        QByteArray text = "[";
        for (const RecipeSource& source : recipe.sources()) {
            text += text.size() > 1 ? ",\n        " : "\n        ";
            text += sourceText(source, folder, storePassword);
        }
        members.emplace_back("sources", text + "\n    ]");
    }

    const ChannelFilter& filter = recipe.filter;
    if (!filter.groups.isEmpty())
        members.emplace_back("groups", stringsText(filter.groups));
    if (!filter.excludedGroups.isEmpty())
        members.emplace_back("exclude-groups", stringsText(filter.excludedGroups));
    if (!filter.match.isEmpty())
        members.emplace_back("match", jsonString(filter.match));
    if (recipe.onePerGuideId)
        members.emplace_back("dedupe", "\"guide-id\"");
    else if (filter.onePerAddress)
        members.emplace_back("dedupe", "true");
    if (!recipe.channelsOff.empty())
        members.emplace_back("channels-off", itemsText(recipe.channelsOff, channelText));
    if (!recipe.channelsOn.empty())
        members.emplace_back("channels-on", itemsText(recipe.channelsOn, channelText));
    if (!recipe.names.empty())
        members.emplace_back("names", itemsText(recipe.names, [](const ChannelRename& rename) {
                                 return "{\"channel\": " + channelText(rename.channel) +
                                        ", \"name\": " + jsonString(rename.name) + '}';
                             }));
    if (!recipe.groupNames.empty())
        members.emplace_back("group-names",
                             itemsText(recipe.groupNames, [](const GroupRename& rename) {
                                 return "{\"group\": " + jsonString(rename.group) +
                                        ", \"name\": " + jsonString(rename.name) + '}';
                             }));
    if (!recipe.groupOrder.isEmpty())
        members.emplace_back("group-order", stringsText(recipe.groupOrder));
    if (!recipe.channelOrder.empty())
        members.emplace_back("channel-order", itemsText(recipe.channelOrder, channelText));
    if (recipe.sort == RecipeSort::Name)
        members.emplace_back("sort", "\"name\"");
    if (!recipe.target.isEmpty())
        members.emplace_back("target", jsonString(recipe.target));
    if (recipe.ansi)
        members.emplace_back("ansi", "true");
    if (recipe.codePage != 0)
        members.emplace_back("codepage", QByteArray::number(recipe.codePage));
    if (recipe.enigma2Type != 0)
        members.emplace_back("enigma2-type", QByteArray::number(recipe.enigma2Type));
    if (!recipe.bouquetName.isEmpty())
        members.emplace_back("bouquet-name", jsonString(recipe.bouquetName));
    if (!recipe.output.isEmpty())
        members.emplace_back("output", jsonString(pathText(recipe.output, folder)));
    if (recipe.acceptGone)
        members.emplace_back("gone", "\"accept\"");
    const RecipeReceiver& receiver = recipe.receiver;
    if (!receiver.address.isEmpty())
        members.emplace_back("send-to", jsonString(receiver.address));
    if (storePassword && !receiver.password.isEmpty())
        members.emplace_back("box-password", jsonString(receiver.password));
    if (!receiver.prefix.isEmpty())
        members.emplace_back("prefix", jsonString(receiver.prefix));
    if (receiver.perGroup)
        members.emplace_back("per-group", "true");
    if (!receiver.slugs.empty())
        members.emplace_back("slugs", itemsText(receiver.slugs, [](const GroupSlug& slug) {
                                 return "{\"group\": " + jsonString(slug.group) +
                                        ", \"slug\": " + jsonString(slug.slug) + '}';
                             }));
    writeGuideMembers(recipe.guide, folder, members);

    QByteArray text = "{\n";
    for (size_t k = 0; k < members.size(); ++k) {
        text += "    \"";
        text += members[k].first;
        text += "\": ";
        text += members[k].second;
        text += k + 1 < members.size() ? ",\n" : "\n";
    }
    return text + "}\n";
}

void writeRecipe(const QString& fileName, const Recipe& recipe, bool storePassword) {
    const QByteArray text = recipeText(recipe, QFileInfo(fileName).absolutePath(), storePassword);
    const std::unique_ptr<QSaveFile> file = openSaveFile(fileName);
    // Before a byte of the password is in it.
    if (holdsPassword(recipe, storePassword) && !platform::restrictToOwner(file->handle())) {
        const int error = errno;
        file->cancelWriting();
        throw EFCreateError(cannotCreateMessage(fileName, error));
    }
    if (file->write(text) != text.size() || !file->flush()) {
        file->cancelWriting();
        throw EWriteError(cannotWriteMessage(fileName, errno ? errno : EIO));
    }
    if (!file->commit())
        throw EWriteError(cannotWriteMessage(fileName, errno ? errno : EIO));
}

// Keys --------------------------------------------------------------------

TStringList joinedPlaylists(const std::vector<TStringList>& playlists) {
    if (playlists.size() == 1)
        return playlists.front();
    TStringList joined;
    qsizetype length = 0;
    for (const TStringList& playlist : playlists)
        length += playlist.textLength();
    joined.reserveText(length);
    for (size_t k = 0; k < playlists.size(); ++k) {
        const TStringList& playlist = playlists[k];
        int line = 0;
        if (k > 0) // the header is the first playlist's
            while (line < playlist.Count() && !isNameLine(playlist.line(line)))
                ++line;
        for (; line < playlist.Count(); ++line)
            joined.Add(playlist.line(line));
    }
    return joined;
}

QStringView tvgIdOf(QStringView nameLine) {
    QStringView id;
    return attributeOf(nameLine, "tvg-id", id) ? id : QStringView();
}

ChannelKeys::ChannelKeys(const ChannelIndex& index) : m_index(index) {
    const int blocks = index.blockCount();
    m_ids.reserve(size_t(blocks));
    QHash<QStringView, int> seen;
    for (int block = 0; block < blocks; ++block) {
        const QStringView id = tvgIdOf(index.lines().line(index.firstLine(block)));
        m_ids.push_back(id);
        if (!id.isEmpty())
            ++seen[id];
    }
    for (QStringView& id : m_ids)
        if (!id.isEmpty() && seen.value(id) > 1)
            id = QStringView();
}

ChannelKey ChannelKeys::key(int block) const {
    const QStringView id = m_ids[size_t(block)];
    if (!id.isEmpty())
        return {id.toString(), {}, {}};
    return {
        {}, m_index.groupName(m_index.groupOf(block)).toString(), m_index.name(block).toString()};
}

namespace {

// The query parameters that carry an account's credentials.
bool isCredentialParameter(QStringView name) {
    static const QSet<QString> names = {
        QStringLiteral("username"), QStringLiteral("user"),    QStringLiteral("login"),
        QStringLiteral("password"), QStringLiteral("pass"),    QStringLiteral("pwd"),
        QStringLiteral("passwd"),   QStringLiteral("token"),   QStringLiteral("access_token"),
        QStringLiteral("key"),      QStringLiteral("api_key"), QStringLiteral("apikey"),
        QStringLiteral("secret"),   QStringLiteral("auth")};
    return names.contains(name.toString().toLower());
}

bool allDigits(QStringView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A path segment without its extension: "123" of "123.ts".
QStringView stemOf(QStringView segment) {
    const qsizetype dot = segment.lastIndexOf(u'.');
    return dot > 0 ? segment.first(dot) : segment;
}

} // namespace

QString channelIdentity(QStringView address) {
    QStringView text = address;
    const qsizetype bar = text.indexOf(u'|');
    if (bar >= 0)
        text = text.first(bar);
    text = text.trimmed();
    const qsizetype scheme = text.indexOf(u"://");
    if (scheme <= 0)
        return text.toString();
    const qsizetype hostStart = scheme + 3;
    qsizetype pathStart = text.size();
    for (const QChar end : {u'/', u'?', u'#'}) {
        const qsizetype at = text.indexOf(end, hostStart);
        if (at >= 0)
            pathStart = std::min(pathStart, at);
    }
    QStringView authority = text.sliced(hostStart, pathStart - hostStart);
    const qsizetype userEnd = authority.lastIndexOf(u'@');
    if (userEnd >= 0)
        authority = authority.sliced(userEnd + 1);
    QStringView rest = text.sliced(pathStart);
    const qsizetype fragment = rest.indexOf(u'#');
    if (fragment >= 0)
        rest = rest.first(fragment);
    const qsizetype question = rest.indexOf(u'?');
    const QStringView path = question >= 0 ? rest.first(question) : rest;
    const QStringView query = question >= 0 ? rest.sliced(question + 1) : QStringView();
    QString identity = text.first(scheme).toString().toLower() + QStringLiteral("://") +
                       authority.toString().toLower();

    // A provider's stream: /live/USER/PASS/ID.ts, /movie/.../ID.mkv, or the
    // short /USER/PASS/ID of live TV. The format (.ts, .m3u8) and the login
    // may change; the stream stays.
    const QList<QStringView> segments = path.sliced(path.isEmpty() ? 0 : 1).split(u'/');
    if (question < 0 && segments.size() == 4 &&
        (segments[0] == u"live" || segments[0] == u"movie" || segments[0] == u"series") &&
        allDigits(stemOf(segments[3])))
        return identity + u'/' + segments[0].toString() + u'/' + stemOf(segments[3]).toString();
    if (question < 0 && segments.size() == 3 && allDigits(stemOf(segments[2])))
        return identity + QStringLiteral("/live/") + stemOf(segments[2]).toString();

    identity += path.toString();
    QStringList kept;
    for (const QStringView parameter : query.split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype equals = parameter.indexOf(u'=');
        if (!isCredentialParameter(equals >= 0 ? parameter.first(equals) : parameter))
            kept << parameter.toString();
    }
    if (!kept.isEmpty())
        identity += u'?' + kept.join(u'&');
    return identity;
}

namespace {

// Each channel of a playlist: its identity and its name, in order.
std::vector<std::pair<QString, QStringView>> channelIdentities(const TStringList& lines) {
    std::vector<std::pair<QString, QStringView>> channels;
    const ChannelIndex index(lines);
    channels.reserve(size_t(index.blockCount()));
    for (int block = 0; block < index.blockCount(); ++block)
        for (int line = index.firstLine(block) + 1; line < index.endLine(block); ++line)
            if (const QStringView text = lines.line(line); isStreamLine(text)) {
                channels.emplace_back(channelIdentity(text), index.name(block));
                break;
            }
    return channels;
}

} // namespace

ChannelChanges compareChannels(const TStringList& before, const TStringList& after) {
    const auto beforeChannels = channelIdentities(before);
    const auto afterChannels = channelIdentities(after);
    const auto identities = [](const std::vector<std::pair<QString, QStringView>>& channels) {
        QSet<QString> set;
        set.reserve(qsizetype(channels.size()));
        for (const auto& channel : channels)
            set.insert(channel.first);
        return set;
    };
    const QSet<QString> beforeSet = identities(beforeChannels);
    const QSet<QString> afterSet = identities(afterChannels);
    ChannelChanges changes;
    const auto count = [](const auto& channels, const QSet<QString>& other, int& number,
                          QStringList& names) {
        for (const auto& [identity, name] : channels)
            if (!other.contains(identity) && ++number <= ChannelChanges::kChangeNames)
                names << name.toString();
    };
    count(afterChannels, beforeSet, changes.added, changes.addedNames);
    count(beforeChannels, afterSet, changes.gone, changes.goneNames);
    return changes;
}

QString changesText(const ChannelChanges& changes) {
    return QStringLiteral("new: %1, gone: %2").arg(changes.added).arg(changes.gone);
}

QString channelKeyText(const ChannelKey& key) {
    if (key.byId())
        return QStringLiteral("tvg-id %1").arg(key.id);
    if (key.group.isEmpty())
        return key.name;
    return QStringLiteral("%1 (%2)").arg(key.name, key.group);
}

QString firstNamesText(const QStringList& names, int total, QStringView more, int shown) {
    QString text;
    const int listed = std::min<int>({int(names.size()), total, shown});
    for (int k = 0; k < listed; ++k)
        text += QStringLiteral("  %1\n").arg(names[k]);
    if (total > listed)
        text += QStringLiteral("  %1\n").arg(more.toString().arg(total - listed));
    return text;
}

QStringList lostNames(const RecipeGone& gone) {
    QStringList names = gone.chosenGroups;
    for (const ChannelKey& key : gone.chosenChannels)
        names << channelKeyText(key);
    return names;
}

// Applying ----------------------------------------------------------------

namespace {

// The channels a recipe names, each with the blocks of the playlist it
// names: looked up by tvg-id, or by name among the blocks of its group.
class KeyedBlocks {
public:
    explicit KeyedBlocks(const Recipe& recipe) {
        for (const auto* keys : {&recipe.channelsOff, &recipe.channelsOn, &recipe.channelOrder})
            for (const ChannelKey& key : *keys)
                add(key);
        for (const ChannelRename& rename : recipe.names)
            add(rename.channel);
        m_blocks.resize(size_t(m_numbers.size()));
    }

    bool empty() const { return m_numbers.isEmpty(); }

    // Finds the keys of a block just indexed (ChannelIndex::Indexed).
    void indexed(const ChannelIndex& index, int block) {
        const QStringView line = index.lines().line(index.firstLine(block));
        if (!m_ids.isEmpty()) {
            const QStringView id = tvgIdOf(line);
            if (!id.isEmpty()) {
                const auto at = m_ids.constFind(id);
                if (at != m_ids.cend())
                    m_blocks[size_t(*at)].push_back(block);
            }
        }
        if (m_names.isEmpty())
            return;
        // Each group's names, looked up once, when the group first appears.
        const int group = index.groupOf(block);
        while (m_groupNames.size() <= size_t(group)) {
            const auto at = m_names.constFind(index.groupName(int(m_groupNames.size())));
            m_groupNames.push_back(at == m_names.cend() ? nullptr : &*at);
        }
        const GroupNames* names = m_groupNames[size_t(group)];
        if (!names)
            return;
        // A name stands at the end of its line, after a comma: a line that
        // does not end in ",NAME" for the length of a name looked for names
        // none of them, and its name need not be looked for from its start.
        for (const qsizetype length : names->lengths) {
            // (A line without a comma is a name of its own.)
            if (line.size() < length ||
                (line.size() > length && line[line.size() - length - 1] != u',') ||
                !names->numbers.contains(line.last(length)))
                continue;
            const auto at = names->numbers.constFind(channelNameOf(line));
            if (at != names->numbers.cend())
                m_blocks[size_t(*at)].push_back(block);
            return;
        }
    }

    const std::vector<int>& blocksOf(const ChannelKey& key) const {
        return m_blocks[size_t(numberOf(key))];
    }

private:
    // The views in the tables view the recipe's texts, which stay put.
    void add(const ChannelKey& key) {
        if (m_numbers.contains(key))
            return;
        const int number = int(m_numbers.size());
        m_numbers.insert(key, number);
        if (key.byId())
            m_ids.insert(QStringView(key.id), number);
        else {
            GroupNames& names = m_names[QStringView(key.group)];
            names.numbers.insert(QStringView(key.name), number);
            if (std::find(names.lengths.begin(), names.lengths.end(), key.name.size()) ==
                names.lengths.end())
                names.lengths.push_back(key.name.size());
        }
    }
    int numberOf(const ChannelKey& key) const { return m_numbers.value(key); }

    QHash<ChannelKey, int> m_numbers;
    QHash<QStringView, int> m_ids;
    struct GroupNames {
        QHash<QStringView, int> numbers;
        std::vector<qsizetype> lengths; // each length of a name once
    };
    QHash<QStringView, GroupNames> m_names;      // by group
    std::vector<const GroupNames*> m_groupNames; // by the index's group
    std::vector<std::vector<int>> m_blocks;
};

// Every channel the recipe names, once each, in the order it names them.
std::vector<const ChannelKey*> namedChannels(const Recipe& recipe) {
    std::vector<const ChannelKey*> keys;
    QSet<ChannelKey> seen;
    const auto add = [&](const ChannelKey& key) {
        if (!seen.contains(key)) {
            seen.insert(key);
            keys.push_back(&key);
        }
    };
    for (const auto* list : {&recipe.channelsOn, &recipe.channelOrder})
        for (const ChannelKey& key : *list)
            add(key);
    for (const ChannelRename& rename : recipe.names)
        add(rename.channel);
    for (const ChannelKey& key : recipe.channelsOff)
        add(key);
    return keys;
}

// Every group the recipe names, once each, in the order it names them.
QStringList namedGroups(const Recipe& recipe) {
    QStringList groups;
    QSet<QString> seen;
    const auto add = [&](const QString& group) {
        if (!seen.contains(group)) {
            seen.insert(group);
            groups << group;
        }
    };
    for (const QStringList* list :
         {&recipe.filter.groups, &recipe.groupOrder, &recipe.filter.excludedGroups})
        for (const QString& group : *list)
            add(group);
    for (const GroupRename& rename : recipe.groupNames)
        add(rename.group);
    return groups;
}

// Whether the recipe's filter takes the channels of a group.
bool groupChosen(const ChannelFilter& filter, const QString& group) {
    return (filter.groups.isEmpty() || filter.groups.contains(group)) &&
           !filter.excludedGroups.contains(group);
}

RecipeGone goneOf(const Recipe& recipe, const KeyedBlocks& keyed,
                  const QHash<QStringView, int>& groupNumbers) {
    RecipeGone gone;
    for (const QString& group : namedGroups(recipe))
        if (!groupNumbers.contains(QStringView(group))) {
            gone.groups << group;
            // The channels without a group are no group the user chose.
            if (!group.isEmpty() && groupChosen(recipe.filter, group))
                gone.chosenGroups << group;
        }
    if (keyed.empty())
        return gone;
    const QSet<ChannelKey> on(recipe.channelsOn.begin(), recipe.channelsOn.end());
    const QSet<ChannelKey> off(recipe.channelsOff.begin(), recipe.channelsOff.end());
    for (const ChannelKey* key : namedChannels(recipe)) {
        if (!keyed.blocksOf(*key).empty())
            continue;
        gone.channels.push_back(*key);
        // A channel named by its tvg-id may have stood in any group.
        if (on.contains(*key) ||
            (!off.contains(*key) && (key->byId() || groupChosen(recipe.filter, key->group))))
            gone.chosenChannels.push_back(*key);
    }
    return gone;
}

QHash<QStringView, int> groupNumbersOf(const ChannelIndex& index) {
    QHash<QStringView, int> numbers;
    numbers.reserve(index.groupCount());
    for (int group = 0; group < index.groupCount(); ++group)
        numbers.insert(index.groupName(group), group);
    return numbers;
}

// The filter's choice, as dorvane-convert's options make it: a block of a
// chosen group whose name matches, and with dedupe the first of those with
// each address.
std::vector<char> filterChoice(const ChannelFilter& filter, ChannelIndex& index) {
    const int blocks = index.blockCount();
    std::vector<char> chosen(size_t(blocks), 1);
    if (filter.choosesAll())
        return chosen;
    const QSet<QString> groups(filter.groups.begin(), filter.groups.end());
    const QSet<QString> excluded(filter.excludedGroups.begin(), filter.excludedGroups.end());
    std::vector<char> groupChosen(size_t(index.groupCount()));
    for (int group = 0; group < index.groupCount(); ++group) {
        const QString name = index.groupName(group).toString();
        groupChosen[size_t(group)] =
            (groups.isEmpty() || groups.contains(name)) && !excluded.contains(name);
    }
    std::u32string match;
    std::u32string scratch;
    appendCaseFolded(QStringView(filter.match), match);
    for (int block = 0; block < blocks; ++block)
        chosen[size_t(block)] = groupChosen[size_t(index.groupOf(block))] &&
                                containsFolded(index.name(block), match, scratch);
    if (filter.onePerAddress) {
        index.findAddresses();
        std::vector<char> taken(size_t(index.addressCount()), 0);
        for (int block = 0; block < blocks; ++block) {
            const int address = index.addressOf(block);
            if (!chosen[size_t(block)] || address < 0)
                continue;
            chosen[size_t(block)] = !taken[size_t(address)];
            taken[size_t(address)] = 1;
        }
    }
    return chosen;
}

// Of the chosen blocks with the same tvg-id, the first only.
void keepOnePerGuideId(const ChannelIndex& index, std::vector<char>& chosen) {
    QSet<QStringView> seen;
    for (int block = 0; block < index.blockCount(); ++block) {
        if (!chosen[size_t(block)])
            continue;
        const QStringView id = tvgIdOf(index.lines().line(index.firstLine(block)));
        if (id.isEmpty())
            continue;
        if (seen.contains(id))
            chosen[size_t(block)] = 0;
        else
            seen.insert(id);
    }
}

// Sorts the items by their names, locale-aware and case-insensitive, keeping
// the order of equal names. The names are case folded first: in the C
// locale the collator compares code points, whatever the case sensitivity.
template <typename Name> void sortByName(std::vector<int>& items, Name nameOf) {
    if (items.size() < 2)
        return;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(items.size());
    for (int item : items)
        keys.push_back(collator.sortKey(nameOf(item).toCaseFolded()));
    std::vector<int> order(items.size());
    for (size_t k = 0; k < order.size(); ++k)
        order[k] = int(k);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    std::vector<int> sorted;
    sorted.reserve(items.size());
    for (int k : order)
        sorted.push_back(items[size_t(k)]);
    items.swap(sorted);
}

// The chosen blocks group by group, as the recipe orders them.
std::vector<int> orderedBlocks(const Recipe& recipe, const ChannelIndex& index,
                               const KeyedBlocks& keyed, const std::vector<char>& chosen,
                               const QHash<QStringView, int>& groupNumbers,
                               const QHash<int, QStringView>& newNames,
                               const std::vector<QStringView>& newGroupNames) {
    const int groupCount = index.groupCount();
    const bool byName = recipe.sort == RecipeSort::Name;
    std::vector<int> groups;
    std::vector<char> placed(size_t(groupCount), 0);
    for (const QString& name : recipe.groupOrder) {
        const int group = groupNumbers.value(QStringView(name), -1);
        if (group >= 0 && !placed[size_t(group)]) {
            placed[size_t(group)] = 1;
            groups.push_back(group);
        }
    }
    std::vector<int> others;
    for (int group = 0; group < groupCount; ++group)
        if (!placed[size_t(group)])
            others.push_back(group);
    if (byName)
        sortByName(others, [&](int group) {
            const QStringView renamed = newGroupNames[size_t(group)];
            return (renamed.isNull() ? index.groupName(group) : renamed).toString();
        });
    groups.insert(groups.end(), others.begin(), others.end());

    // The channels of channel-order, each in its own group.
    std::vector<std::vector<int>> first(static_cast<size_t>(groupCount));
    std::vector<char> inFirst(size_t(index.blockCount()), 0);
    for (const ChannelKey& key : recipe.channelOrder)
        for (int block : keyed.blocksOf(key))
            if (chosen[size_t(block)] && !inFirst[size_t(block)]) {
                inFirst[size_t(block)] = 1;
                first[size_t(index.groupOf(block))].push_back(block);
            }

    std::vector<int> blocks;
    blocks.reserve(size_t(index.blockCount()));
    std::vector<int> rest;
    for (int group : groups) {
        const std::vector<int>& head = first[size_t(group)];
        blocks.insert(blocks.end(), head.begin(), head.end());
        const size_t start = blocks.size();
        for (int block : index.groupBlocks(group))
            if (chosen[size_t(block)] && !inFirst[size_t(block)])
                blocks.push_back(block);
        if (byName) {
            rest.assign(blocks.begin() + qsizetype(start), blocks.end());
            sortByName(rest, [&](int block) {
                const QStringView renamed = newNames.value(block);
                return (renamed.isNull() ? index.name(block) : renamed).toString();
            });
            std::copy(rest.begin(), rest.end(), blocks.begin() + qsizetype(start));
        }
    }
    return blocks;
}

// A name line with the group in its group-title="..." and the name after
// its comma replaced, each unless null.
QString renamedLine(QStringView line, QStringView group, QStringView name) {
    QString text = line.toString();
    if (!group.isNull()) {
        QStringView title;
        if (attributeOf(QStringView(text), "group-title", title)) {
            const qsizetype at = title.data() - text.constData();
            text.replace(at, title.size(), group.toString());
        }
    }
    if (!name.isNull()) {
        const QStringView current = channelNameOf(QStringView(text));
        const qsizetype at = current.data() - text.constData();
        if (at == 0) // no comma: the whole line stood for the name
            text += u',';
        else
            text.truncate(at);
        text += name;
    }
    return text;
}

} // namespace

AppliedRecipe applyRecipe(const Recipe& recipe, const TStringList& playlist) {
    KeyedBlocks keyed(recipe);
    ChannelIndex index(
        playlist,
        keyed.empty() ? ChannelIndex::Indexed() : [&keyed](const ChannelIndex& index, int block) {
            keyed.indexed(index, block);
        });
    const int blocks = index.blockCount();
    AppliedRecipe result;

    // The choice.
    std::vector<char> chosen = filterChoice(recipe.filter, index);
    if (recipe.onePerGuideId)
        keepOnePerGuideId(index, chosen);
    for (const ChannelKey& key : recipe.channelsOff)
        for (int block : keyed.blocksOf(key))
            chosen[size_t(block)] = 0;
    for (const ChannelKey& key : recipe.channelsOn)
        for (int block : keyed.blocksOf(key))
            chosen[size_t(block)] = 1;

    // The groups named, by their names.
    const QHash<QStringView, int> groupNumbers = groupNumbersOf(index);
    result.gone = goneOf(recipe, keyed, groupNumbers);
    result.missingGroups = int(result.gone.chosenGroups.size());
    result.missingChannels = int(result.gone.chosenChannels.size());

    // The new names of the blocks renamed; later entries win, and an empty
    // name keeps the playlist's.
    QHash<int, QStringView> newNames;
    for (const ChannelRename& rename : recipe.names)
        for (int block : keyed.blocksOf(rename.channel)) {
            if (rename.name.isEmpty())
                newNames.remove(block);
            else
                newNames.insert(block, rename.name);
        }
    std::vector<QStringView> newGroupNames(size_t(index.groupCount()));
    bool groupsRenamed = false;
    for (const GroupRename& rename : recipe.groupNames) {
        const int group = groupNumbers.value(QStringView(rename.group), -1);
        // A block without a group has nothing to rename.
        if (group >= 0 && !rename.name.isEmpty() && !rename.group.isEmpty()) {
            newGroupNames[size_t(group)] = rename.name;
            groupsRenamed = true;
        }
    }

    // The order.
    const bool ordered = !recipe.groupOrder.isEmpty() || !recipe.channelOrder.empty() ||
                         recipe.sort == RecipeSort::Name;
    std::vector<int> order;
    if (ordered)
        order = orderedBlocks(recipe, index, keyed, chosen, groupNumbers, newNames, newGroupNames);

    // The lines: the header, then the blocks' in order, one range for blocks
    // that follow one another.
    const bool renames = !newNames.isEmpty() || groupsRenamed;
    std::vector<int> placedAt; // each renamed block's first line in the result
    std::vector<int> renamed;
    std::vector<std::pair<int, int>> ranges;
    ranges.reserve(ordered ? order.size() + 1 : 1);
    ranges.emplace_back(0, index.headerLines());
    int lineCount = index.headerLines();
    // A flag a block, cheaper than asking the table for each of a million.
    std::vector<bool> nameFlags;
    if (!newNames.isEmpty()) {
        nameFlags.resize(size_t(blocks));
        for (auto at = newNames.cbegin(); at != newNames.cend(); ++at)
            nameFlags[size_t(at.key())] = true;
    }
    const auto place = [&](int block) {
        const int first = index.firstLine(block);
        const int count = index.endLine(block) - first;
        if (renames && ((!nameFlags.empty() && nameFlags[size_t(block)]) ||
                        !newGroupNames[size_t(index.groupOf(block))].isNull())) {
            renamed.push_back(block);
            placedAt.push_back(lineCount);
        }
        lineCount += count;
        if (ranges.back().first + ranges.back().second == first)
            ranges.back().second += count;
        else
            ranges.emplace_back(first, count);
    };
    if (ordered) {
        for (int block : order)
            place(block);
    } else {
        for (int block = 0; block < blocks; ++block)
            if (chosen[size_t(block)])
                place(block);
    }
    result.lines = playlist.linesIn(ranges);

    // The names, line by line: the rest of the text stays shared.
    for (size_t k = 0; k < renamed.size(); ++k) {
        const int block = renamed[k];
        const int first = index.firstLine(block);
        const QStringView group = newGroupNames[size_t(index.groupOf(block))];
        const QStringView name = newNames.value(block);
        QStringView title;
        const QStringView nameLine = playlist.line(first);
        const bool fromTitle = attributeOf(nameLine, "group-title", title);
        if (!name.isNull() || (fromTitle && !group.isNull()))
            result.lines.setStrings(placedAt[k], renamedLine(nameLine, group, name));
        if (group.isNull() || fromTitle)
            continue;
        // The group comes from the block's first #EXTGRP line.
        for (int line = first + 1; line < index.endLine(block); ++line)
            if (choice::startsWithAscii(playlist.line(line), "#EXTGRP:")) {
                result.lines.setStrings(placedAt[k] + (line - first), {u"#EXTGRP:", group});
                break;
            }
    }
    return result;
}

void sortItemsByName(std::vector<int>& items, const std::function<QString(int)>& nameOf) {
    sortByName(items, nameOf);
}

namespace {

// Each group's blocks in the order the edits show them.
const std::vector<int>& editedBlocks(const ChannelIndex& index, const ChannelEdits& edits,
                                     int group) {
    return edits.channelOrder.empty() ? index.groupBlocks(group)
                                      : edits.channelOrder[size_t(group)];
}

QString editedGroupName(const ChannelIndex& index, const ChannelEdits& edits, int group) {
    const auto at = edits.groupNames.constFind(group);
    return at != edits.groupNames.cend() ? *at : index.groupName(group).toString();
}

QString editedName(const ChannelIndex& index, const ChannelEdits& edits, int block) {
    const auto at = edits.names.constFind(block);
    return at != edits.names.cend() ? *at : index.name(block).toString();
}

template <typename Key> std::vector<Key> sortedKeys(const QHash<Key, QString>& hash) {
    std::vector<Key> keys;
    keys.reserve(size_t(hash.size()));
    for (auto at = hash.cbegin(); at != hash.cend(); ++at)
        keys.push_back(at.key());
    std::sort(keys.begin(), keys.end());
    return keys;
}

} // namespace

Recipe editedRecipe(const ChannelIndex& index, const std::vector<char>& chosen, bool onePerAddress,
                    const ChannelEdits& edits) {
    Recipe recipe;
    const ChannelKeys keys(index);
    const auto isChosen = [&](int block) { return chosen.empty() || chosen[size_t(block)]; };
    const int groupCount = index.groupCount();

    recipe.filter.onePerAddress = onePerAddress;
    for (int group = 0; group < groupCount; ++group) {
        const std::vector<int>& blocks = index.groupBlocks(group);
        const auto count = std::count_if(blocks.begin(), blocks.end(), isChosen);
        const QString name = index.groupName(group).toString();
        if (edits.takeNewGroups) {
            if (count == 0)
                recipe.filter.excludedGroups << name;
        } else if (count > 0) {
            recipe.filter.groups << name;
        }
        if (count > 0 && size_t(count) < blocks.size())
            for (int block : blocks)
                if (!isChosen(block))
                    recipe.channelsOff.push_back(keys.key(block));
    }

    for (int block : sortedKeys(edits.names))
        recipe.names.push_back({keys.key(block), edits.names.value(block)});
    for (int group : sortedKeys(edits.groupNames))
        recipe.groupNames.push_back(
            {index.groupName(group).toString(), edits.groupNames.value(group)});

    recipe.sort = edits.sortByName ? RecipeSort::Name : RecipeSort::Source;
    // What the order would be without being given: the playlist's, or the sort's.
    std::vector<int> groups(static_cast<size_t>(groupCount));
    for (int group = 0; group < groupCount; ++group)
        groups[size_t(group)] = group;
    if (edits.sortByName)
        sortByName(groups, [&](int group) { return editedGroupName(index, edits, group); });
    if (!edits.groupOrder.empty() && edits.groupOrder != groups)
        for (int group : edits.groupOrder)
            recipe.groupOrder << index.groupName(group).toString();
    std::vector<int> blocks;
    for (int group = 0; group < groupCount; ++group) {
        const std::vector<int>& shown = editedBlocks(index, edits, group);
        blocks = index.groupBlocks(group);
        if (edits.sortByName)
            sortByName(blocks, [&](int block) { return editedName(index, edits, block); });
        if (shown != blocks)
            for (int block : shown)
                if (isChosen(block))
                    recipe.channelOrder.push_back(keys.key(block));
    }
    return recipe;
}

RecipeChoice recipeChoice(const Recipe& recipe, ChannelIndex& index) {
    RecipeChoice result;
    KeyedBlocks keyed(recipe);
    if (!keyed.empty())
        for (int block = 0; block < index.blockCount(); ++block)
            keyed.indexed(index, block);

    ChannelFilter filter = recipe.filter;
    filter.onePerAddress = false;
    result.onePerAddress = recipe.filter.onePerAddress;
    result.chosen = filterChoice(filter, index);
    if (recipe.onePerGuideId)
        keepOnePerGuideId(index, result.chosen);
    for (const ChannelKey& key : recipe.channelsOff)
        for (int block : keyed.blocksOf(key))
            result.chosen[size_t(block)] = 0;
    for (const ChannelKey& key : recipe.channelsOn)
        for (int block : keyed.blocksOf(key))
            result.chosen[size_t(block)] = 1;

    ChannelEdits& edits = result.edits;
    edits.takeNewGroups = recipe.filter.groups.isEmpty();
    edits.sortByName = recipe.sort == RecipeSort::Name;
    for (const ChannelRename& rename : recipe.names)
        for (int block : keyed.blocksOf(rename.channel)) {
            if (rename.name.isEmpty())
                edits.names.remove(block);
            else
                edits.names.insert(block, rename.name);
        }
    QHash<QStringView, int> groupNumbers;
    for (int group = 0; group < index.groupCount(); ++group)
        groupNumbers.insert(index.groupName(group), group);
    for (const GroupRename& rename : recipe.groupNames) {
        const int group = groupNumbers.value(QStringView(rename.group), -1);
        if (group >= 0 && !rename.name.isEmpty() && !rename.group.isEmpty())
            edits.groupNames.insert(group, rename.name);
    }

    if (recipe.groupOrder.isEmpty() && recipe.channelOrder.empty() &&
        recipe.sort == RecipeSort::Source)
        return result;
    // The order of every block, chosen or not, so that a channel chosen
    // later finds its place.
    QHash<int, QStringView> newNames;
    for (auto at = edits.names.cbegin(); at != edits.names.cend(); ++at)
        newNames.insert(at.key(), *at);
    std::vector<QStringView> newGroupNames(size_t(index.groupCount()));
    for (auto at = edits.groupNames.cbegin(); at != edits.groupNames.cend(); ++at)
        newGroupNames[size_t(at.key())] = *at;
    const std::vector<char> all(size_t(index.blockCount()), 1);
    const std::vector<int> order =
        orderedBlocks(recipe, index, keyed, all, groupNumbers, newNames, newGroupNames);
    edits.channelOrder.resize(size_t(index.groupCount()));
    for (int block : order) {
        const int group = index.groupOf(block);
        std::vector<int>& blocks = edits.channelOrder[size_t(group)];
        if (blocks.empty())
            edits.groupOrder.push_back(group);
        blocks.push_back(block);
    }
    return result;
}

RecipeGone goneFrom(const Recipe& recipe, ChannelIndex& index) {
    KeyedBlocks keyed(recipe);
    if (!keyed.empty())
        for (int block = 0; block < index.blockCount(); ++block)
            keyed.indexed(index, block);
    return goneOf(recipe, keyed, groupNumbersOf(index));
}

namespace {

// Puts the items of `former` that `isGone` says are gone into `order`, each
// after the item that preceded it in `former` and that `order` has (first
// when none does), in the order of `former`.
template <typename List, typename IsGone>
void placeGone(List& order, const List& former, IsGone isGone) {
    using Item = std::decay_t<decltype(former[0])>;
    QHash<Item, int> position;
    for (int k = 0; k < int(order.size()); ++k)
        position.insert(order[k], k);
    std::vector<std::vector<Item>> after(order.size() + 1);
    size_t slot = 0;
    bool any = false;
    for (const Item& item : former) {
        const auto at = position.constFind(item);
        if (at != position.cend()) {
            slot = size_t(*at) + 1;
        } else if (isGone(item)) {
            after[slot].push_back(item);
            position.insert(item, -1); // once
            any = true;
        }
    }
    if (!any)
        return;
    List placed;
    for (size_t k = 0; k <= size_t(order.size()); ++k) {
        if (k > 0)
            placed.push_back(order[k - 1]);
        for (const Item& item : after[k])
            placed.push_back(item);
    }
    order = std::move(placed);
}

template <typename List, typename Item> bool holds(const List& list, const Item& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

void keepGone(Recipe& edited, const Recipe& former, const RecipeGone& gone, ChannelIndex& index) {
    if (gone.empty())
        return;
    const QSet<QString> groups(gone.groups.begin(), gone.groups.end());
    const QSet<ChannelKey> channels(gone.channels.begin(), gone.channels.end());
    const auto groupGone = [&](const QString& group) { return groups.contains(group); };
    const auto channelGone = [&](const ChannelKey& key) { return channels.contains(key); };

    // The choice: a group chosen by name stays chosen, one left out stays
    // out, whichever way the recipe now chooses groups.
    QStringList& chosenGroups =
        edited.filter.groups.isEmpty() ? edited.filter.excludedGroups : edited.filter.groups;
    const QStringList& formerGroups =
        edited.filter.groups.isEmpty() ? former.filter.excludedGroups : former.filter.groups;
    for (const QString& group : formerGroups)
        if (groupGone(group) && !chosenGroups.contains(group))
            chosenGroups << group;
    for (const auto& [from, to] : {std::pair{&former.channelsOff, &edited.channelsOff},
                                   std::pair{&former.channelsOn, &edited.channelsOn}})
        for (const ChannelKey& key : *from)
            if (channelGone(key) && !holds(*to, key))
                to->push_back(key);

    // The names.
    QSet<ChannelKey> renamed;
    for (const ChannelRename& rename : edited.names)
        renamed.insert(rename.channel);
    for (const ChannelRename& rename : former.names)
        if (channelGone(rename.channel) && !renamed.contains(rename.channel))
            edited.names.push_back(rename);
    QSet<QString> groupsRenamed;
    for (const GroupRename& rename : edited.groupNames)
        groupsRenamed.insert(rename.group);
    for (const GroupRename& rename : former.groupNames)
        if (groupGone(rename.group) && !groupsRenamed.contains(rename.group))
            edited.groupNames.push_back(rename);

    // The orders, given whole once a gone item has its place in them.
    if (std::any_of(former.groupOrder.begin(), former.groupOrder.end(), groupGone)) {
        if (edited.groupOrder.isEmpty()) {
            std::vector<int> order(size_t(index.groupCount()));
            for (int group = 0; group < index.groupCount(); ++group)
                order[size_t(group)] = group;
            QHash<QString, QString> newNames;
            for (const GroupRename& rename : edited.groupNames)
                if (!rename.name.isEmpty())
                    newNames.insert(rename.group, rename.name);
            if (edited.sort == RecipeSort::Name)
                sortByName(order, [&](int group) {
                    const QString name = index.groupName(group).toString();
                    return newNames.value(name, name);
                });
            for (int group : order)
                edited.groupOrder << index.groupName(group).toString();
        }
        placeGone(edited.groupOrder, former.groupOrder, groupGone);
    }
    if (std::any_of(former.channelOrder.begin(), former.channelOrder.end(), channelGone)) {
        if (edited.channelOrder.empty()) {
            const RecipeChoice choice = recipeChoice(edited, index);
            const ChannelKeys keys(index);
            std::vector<int> groupOrder = choice.edits.groupOrder;
            if (groupOrder.empty())
                for (int group = 0; group < index.groupCount(); ++group)
                    groupOrder.push_back(group);
            for (int group : groupOrder) {
                const std::vector<int>& blocks = choice.edits.channelOrder.empty()
                                                     ? index.groupBlocks(group)
                                                     : choice.edits.channelOrder[size_t(group)];
                for (int block : blocks)
                    if (choice.chosen[size_t(block)])
                        edited.channelOrder.push_back(keys.key(block));
            }
        }
        placeGone(edited.channelOrder, former.channelOrder, channelGone);
    }
}

Recipe withoutGone(const Recipe& recipe, const RecipeGone& gone) {
    Recipe kept = recipe;
    const QSet<QString> groups(gone.groups.begin(), gone.groups.end());
    const QSet<ChannelKey> channels(gone.channels.begin(), gone.channels.end());
    const auto dropGroups = [&](QStringList& list) {
        list.removeIf([&](const QString& group) { return groups.contains(group); });
    };
    const auto dropChannels = [&](std::vector<ChannelKey>& list) {
        std::erase_if(list, [&](const ChannelKey& key) { return channels.contains(key); });
    };
    // Groups chosen by name, all gone: left as they are, since none would
    // choose every group.
    QStringList chosen = kept.filter.groups;
    dropGroups(chosen);
    if (!chosen.isEmpty())
        kept.filter.groups = chosen;
    dropGroups(kept.filter.excludedGroups);
    dropGroups(kept.groupOrder);
    std::erase_if(kept.groupNames,
                  [&](const GroupRename& rename) { return groups.contains(rename.group); });
    dropChannels(kept.channelsOff);
    dropChannels(kept.channelsOn);
    dropChannels(kept.channelOrder);
    std::erase_if(kept.names,
                  [&](const ChannelRename& rename) { return channels.contains(rename.channel); });
    return kept;
}

} // namespace dorvane
