#pragma once

// The benchmarks' made-up playlists, from bench/gen-playlist.
#include <QByteArray>

#include <cstdio>

namespace dorvane::bench {

// The bytes gen-playlist writes for `arguments` ("100000 1"); empty when it
// cannot be run.
inline QByteArray generatedPlaylist(const QByteArray& arguments) {
    const QByteArray command = "python3 '" DORVANE_BENCH_DIR "/gen-playlist' " + arguments;
    QByteArray bytes;
    if (FILE* pipe = ::popen(command.constData(), "r")) {
        char buffer[1 << 16];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            bytes.append(buffer, static_cast<qsizetype>(got));
        ::pclose(pipe);
    }
    return bytes;
}

} // namespace dorvane::bench
