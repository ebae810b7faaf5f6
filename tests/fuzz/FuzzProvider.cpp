// A provider's answer made into M3U lines: the first byte says which answer
// the rest is (the account, live TV's categories or streams, films' streams).
// Checks that an answer either fails with the provider's messages or gives
// exactly two lines an entry: an #EXTINF line whose attribute values hold no
// quote, and an address under the server's live/ or movie/ path; that no
// control character is written but the line ends; and that no message holds
// the password, in any case.
#include "playlist/Errors.h"
#include "source/provider/ProviderPlaylist.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

using namespace dorvane;

namespace {

const QByteArray kAccount = R"({"user_info":{"auth":1,"status":"Active"}})";
const QByteArray kCategories = R"([{"category_id":"1","category_name":"News"}])";

// ` key="value"` attributes up to the comma before the name.
bool wellFormedAttributes(QByteArrayView line) {
    qsizetype at = 0;
    while (at < line.size() && line[at] == ' ') {
        const qsizetype quote = line.indexOf("=\"", at);
        if (quote < 0)
            return false;
        const qsizetype close = line.indexOf('"', quote + 2);
        if (close < 0)
            return false;
        at = close + 1;
    }
    return at < line.size() && line[at] == ',';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArray answer(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
    ProviderLogin login;
    login.server = providerServer(QStringLiteral("http://tv.example:8080"));
    login.user = QStringLiteral("joe");
    login.password = QStringLiteral("pa5sw0rd");
    login.movies = data[0] & 4;
    const bool films = login.movies;
    QList<QByteArray> answers;
    switch (data[0] & 3) {
    case 0:
        answers = {answer};
        break;
    case 1:
        answers = {kAccount, answer};
        break;
    default:
        answers = {kAccount, kCategories, answer};
    }
    ProviderPlaylist playlist(login);
    try {
        for (qsizetype k = 0; k < answers.size(); ++k)
            playlist.take(size_t(k), answers[k]);
    } catch (const EFOpenError& error) {
        if (error.Message().contains(u"pa5sw0rd", Qt::CaseInsensitive) ||
            !error.Message().startsWith(u"Cannot "))
            std::abort();
        return 0;
    }
    // The rest of the requests, answered empty, to finish the playlist.
    for (size_t k = size_t(answers.size()); k < playlist.requests().size(); ++k)
        playlist.take(k, "[]");
    const qsizetype entries = playlist.entries();
    const QByteArray text = playlist.takePlaylist();
    const QList<QByteArray> lines = text.split('\n');
    // The head, two lines an entry, and the empty piece after the last LF.
    if (lines.size() != 2 + 2 * entries || !lines.last().isEmpty())
        std::abort();
    // No control character but the line ends: none reaches a terminal.
    for (qsizetype k = 0; k < text.size(); ++k) {
        const auto b = uchar(text[k]);
        if ((b < 0x20 && b != '\n') || b == 0x7F ||
            (b == 0xC2 && k + 1 < text.size() && uchar(text[k + 1]) >= 0x80 &&
             uchar(text[k + 1]) <= 0x9F) ||
            (b == 0xE2 && text.sliced(k).startsWith("\xE2\x80") && k + 2 < text.size() &&
             (uchar(text[k + 2]) == 0xA8 || uchar(text[k + 2]) == 0xA9)))
            std::abort();
    }
    for (qsizetype k = 1; k + 1 < lines.size(); k += 2) {
        const QByteArray& info = lines[k];
        const QByteArray& address = lines[k + 1];
        if (!info.startsWith("#EXTINF:-1") ||
            !wellFormedAttributes(QByteArrayView(info).sliced(10)))
            std::abort();
        const bool film = address.startsWith("http://tv.example:8080/movie/joe/pa5sw0rd/");
        if (!film && !address.startsWith("http://tv.example:8080/live/joe/pa5sw0rd/"))
            std::abort();
        if (film && !films)
            std::abort();
    }
    return 0;
}
