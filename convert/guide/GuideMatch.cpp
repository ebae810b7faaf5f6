#include "convert/guide/GuideMatch.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace dorvane::guide {

namespace {

bool isWordCharacter(UChar32 c) {
    return u_isalpha(c) || u_isdigit(c);
}

// The words a name carries for its picture, not for the channel.
bool isQualityWord(const icu::UnicodeString& word) {
    return word == u"hd" || word == u"fhd" || word == u"uhd" || word == u"4k" || word == u"sd";
}

// The letters of a leading country prefix: two letters, then ':' or '|'
// (spaces around allowed), with more after it. Where the rest begins, or 0.
int32_t afterCountryPrefix(const icu::UnicodeString& text) {
    int32_t at = 0;
    const int32_t size = text.length();
    while (at < size && u_isspace(text.char32At(at)))
        at = text.moveIndex32(at, 1);
    int letters = 0;
    while (at < size && letters < 3 && u_isalpha(text.char32At(at))) {
        at = text.moveIndex32(at, 1);
        ++letters;
    }
    if (letters != 2)
        return 0;
    while (at < size && text[at] == u' ')
        ++at;
    if (at >= size || (text[at] != u':' && text[at] != u'|'))
        return 0;
    return at + 1;
}

} // namespace

QString normalisedName(QStringView name) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(status);
    icu::UnicodeString text(false, reinterpret_cast<const UChar*>(name.utf16()),
                            int32_t(name.size()));
    icu::UnicodeString decomposed;
    if (U_SUCCESS(status))
        nfkd->normalize(text, decomposed, status);
    if (U_FAILURE(status))
        decomposed = text;
    icu::UnicodeString folded;
    for (int32_t k = 0; k < decomposed.length(); k = decomposed.moveIndex32(k, 1)) {
        const UChar32 c = decomposed.char32At(k);
        const int8_t type = u_charType(c);
        if (type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK ||
            type == U_ENCLOSING_MARK)
            continue;
        folded.append(c);
    }
    folded.foldCase();
    // Word by word, the prefix and the quality words left out.
    icu::UnicodeString kept;
    icu::UnicodeString word;
    const auto endWord = [&] {
        if (!isQualityWord(word))
            kept.append(word);
        word.remove();
    };
    for (int32_t k = afterCountryPrefix(folded); k < folded.length();
         k = folded.moveIndex32(k, 1)) {
        const UChar32 c = folded.char32At(k);
        if (isWordCharacter(c))
            word.append(c);
        else
            endWord();
    }
    endWord();
    return QString(reinterpret_cast<const QChar*>(kept.getBuffer()), kept.length());
}

int GuideChannels::add(const QString& id, const std::vector<QString>& displayNames) {
    const auto known = m_byId.constFind(id);
    if (known != m_byId.cend())
        return *known;
    const int channel = int(m_ids.size());
    m_ids.push_back(id);
    m_byId.insert(id, channel);
    m_byFoldedId[id.toCaseFolded()].push_back(channel);
    for (const QString& displayName : displayNames) {
        const QString name = normalisedName(displayName);
        if (name.isEmpty())
            continue;
        std::vector<int>& named = m_byName[name];
        if (std::find(named.begin(), named.end(), channel) == named.end())
            named.push_back(channel);
    }
    return channel;
}

Match GuideChannels::byFolded(const QString& id, const char* rule) const {
    Match match;
    const auto found = m_byFoldedId.constFind(id.toCaseFolded());
    if (found == m_byFoldedId.cend())
        return match;
    match.rule = rule;
    match.channel = found->front();
    if (found->size() > 1) {
        match.kind = Match::Kind::Ambiguous;
        match.other = (*found)[1];
    } else {
        match.kind = Match::Kind::Matched;
    }
    return match;
}

Match GuideChannels::match(const MatchInput& channel) const {
    const auto exact = [&](const QString& id, const char* rule) {
        Match match;
        const int found = find(id);
        if (found >= 0) {
            match.kind = Match::Kind::Matched;
            match.channel = found;
            match.rule = rule;
        }
        return match;
    };
    if (!channel.handId.isEmpty()) {
        Match match = exact(channel.handId, "hand");
        if (match.kind == Match::Kind::None)
            match = byFolded(channel.handId, "hand");
        // An id set by hand stands alone: no other rule is asked.
        return match;
    }
    if (!channel.tvgId.isEmpty()) {
        Match match = exact(channel.tvgId, "id");
        if (match.kind == Match::Kind::None)
            match = byFolded(channel.tvgId, "id-case");
        if (match.kind != Match::Kind::None)
            return match;
    }
    Match match;
    const QString name = normalisedName(channel.name);
    if (name.isEmpty())
        return match;
    const auto found = m_byName.constFind(name);
    if (found == m_byName.cend())
        return match;
    match.rule = "name";
    match.channel = found->front();
    if (found->size() > 1) {
        match.kind = Match::Kind::Ambiguous;
        match.other = (*found)[1];
    } else {
        match.kind = Match::Kind::Matched;
    }
    return match;
}

} // namespace dorvane::guide
