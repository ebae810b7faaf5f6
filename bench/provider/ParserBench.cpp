// A provider's films answer (gen-provider's vod_streams.json) made into M3U
// lines with QJsonDocument and with simdjson (the provider source's own
// reading), to choose the parser by. Prints the seconds the parse and the
// lines took; bench/run-provider measures the peak memory around it.
// QJsonDocument is given the answer whole; the provider source reads it as a
// download hands it over, a megabyte at a time, and is timed with that
// reading of the file.
// Usage: dorvane-provider-bench qt|simdjson FILE
#include "source/provider/ProviderPlaylist.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstring>

namespace {

using namespace dorvane;

QString text(const QJsonValue& value) {
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toInteger());
    return {};
}

QString attribute(QString value) {
    value.replace(u'"', u'\'');
    for (QChar& c : value)
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
    return value;
}

// The same lines as ProviderPlaylist writes for films, the QJsonDocument way.
QByteArray withQt(const QByteArray& answer) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    if (!document.isArray())
        return {};
    const QHash<QString, QString> categories;
    QByteArray out;
    const QByteArray prefix = "http://127.0.0.1/movie/bench/bench/";
    for (const QJsonValue& entry : document.array()) {
        const QJsonObject film = entry.toObject();
        const QString id = text(film.value(QLatin1String("stream_id")));
        if (id.isEmpty())
            continue;
        const QString name = text(film.value(QLatin1String("name")));
        out += "#EXTINF:-1 tvg-name=\"" + attribute(name).toUtf8() + "\" tvg-logo=\"" +
               attribute(text(film.value(QLatin1String("stream_icon")))).toUtf8() +
               "\" group-title=\"" +
               categories.value(text(film.value(QLatin1String("category_id")))).toUtf8() + "\"," +
               name.toUtf8() + '\n' + prefix + id.toUtf8() + '.' +
               text(film.value(QLatin1String("container_extension"))).toUtf8() + '\n';
    }
    return out;
}

QByteArray withSimdjson(QFile& file) {
    ProviderLogin login;
    login.server = providerServer(QStringLiteral("http://127.0.0.1"));
    login.user = login.password = QStringLiteral("bench");
    login.live = false;
    login.movies = true;
    ProviderPlaylist playlist(login);
    playlist.take(0, R"({"user_info":{"auth":1,"status":"Active"}})");
    playlist.take(1, "[]");
    BodySink& sink = playlist.answer(2);
    sink.begin(file.size());
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    for (qint64 got; (got = file.read(piece.data(), piece.size())) > 0;)
        sink.write(QByteArrayView(piece.constData(), got));
    playlist.finish();
    return playlist.takePlaylist();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "qt") != 0 && std::strcmp(argv[1], "simdjson") != 0)) {
        std::fprintf(stderr, "Usage: dorvane-provider-bench qt|simdjson FILE\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "Cannot read %s\n", argv[2]);
        return 1;
    }
    QElapsedTimer timer;
    QByteArray lines;
    if (std::strcmp(argv[1], "qt") == 0) {
        const QByteArray answer = file.readAll();
        timer.start();
        lines = withQt(answer);
    } else {
        timer.start();
        lines = withSimdjson(file);
    }
    std::printf("%.3f s, %.1f MB of M3U\n", double(timer.nsecsElapsed()) / 1e9,
                double(lines.size()) / 1e6);
    return 0;
}
