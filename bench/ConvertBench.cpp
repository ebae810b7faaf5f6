// Throughput of the steps of a conversion on a generated 100k-channel playlist
// (bench/gen-playlist 100000 1), or on the file DORVANE_BENCH_PLAYLIST names.
#include "GeneratedPlaylist.h"
#include "convert/ByteConversion.h"
#include "convert/ByteLineSink.h"
#include "convert/LineSink.h"
#include "convert/Run.h"
#include "convert/TargetFormat.h"
#include "playlist/AnsiCodePage.h"
#include "playlist/Encoding.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace dorvane;

namespace {

const QByteArray& playlistBytes() {
    static const QByteArray bytes = [] {
        const char* path = std::getenv("DORVANE_BENCH_PLAYLIST");
        QByteArray b = path ? readWholeFile(QString::fromLocal8Bit(path))
                            : bench::generatedPlaylist("100000 1");
        if (b.isEmpty()) {
            std::fprintf(stderr, "no playlist to measure\n");
            std::exit(1);
        }
        return b;
    }();
    return bytes;
}

const QString& playlistText() {
    static const QString text = decodeFileBytes(playlistBytes(), TEncoding::UTF8());
    return text;
}

const TStringList& playlistLines() {
    static const TStringList lines = [] {
        TStringList l;
        l.setText(QStringView(playlistText()));
        return l;
    }();
    return lines;
}

const TargetFormat& formatArg(const benchmark::State& state) {
    return *allFormats()[static_cast<size_t>(state.range(0))];
}

void BM_Decode(benchmark::State& state) {
    const QByteArray& bytes = playlistBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeFileBytes(bytes, TEncoding::UTF8()));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

void BM_Split(benchmark::State& state) {
    const QString& text = playlistText();
    for (auto _ : state) {
        state.PauseTiming();
        QString copy = text;
        copy.detach();
        TStringList lines;
        state.ResumeTiming();
        lines.setText(std::move(copy));
        benchmark::DoNotOptimize(lines.Count());
    }
    state.SetBytesProcessed(state.iterations() * playlistBytes().size());
}
BENCHMARK(BM_Split)->Unit(benchmark::kMillisecond);

// Classification and the entry lines, into a line list as the window's run
// does.
void BM_ClassifyConvert(benchmark::State& state) {
    const TStringList& lines = playlistLines();
    const TargetFormat& format = formatArg(state);
    state.SetLabel(format.cliName().toString().toStdString());
    for (auto _ : state) {
        TStringList result;
        StringListSink sink(result);
        convertLines(format, lines, sink);
        benchmark::DoNotOptimize(result.Count());
    }
    state.SetItemsProcessed(state.iterations() * lines.Count());
    state.SetBytesProcessed(state.iterations() * playlistBytes().size());
}

// Encoding a converted result (PLS) into the bytes of a file.
void BM_Encode(benchmark::State& state) {
    TStringList result;
    StringListSink listSink(result);
    convertLines(formatFor(TTargetKind::tkPLS), playlistLines(), listSink);
    const TEncoding& encoding =
        state.range(0) ? *TEncoding::ansi(static_cast<int>(state.range(0))) : TEncoding::UTF8();
    state.SetLabel(state.range(0) ? "cp" + std::to_string(state.range(0)) : "utf-8");
    qsizetype size = 0;
    for (auto _ : state) {
        QByteArray bytes = encoding.GetPreamble();
        bytes.reserve(result.textLength() + 16);
        EncodingSink sink(bytes, encoding);
        for (int i = 0; i < result.Count(); ++i)
            sink.addLine({result.line(i)});
        sink.flush();
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Encode)->Arg(0)->Arg(1251)->Unit(benchmark::kMillisecond);

// What dorvane-convert does after splitting: classify, convert and encode in
// one pass, no joined text in between.
void BM_ConvertToBytes(benchmark::State& state) {
    const TStringList& lines = playlistLines();
    const TargetFormat& format = formatArg(state);
    state.SetLabel(format.cliName().toString().toStdString());
    for (auto _ : state) {
        QByteArray bytes = TEncoding::UTF8().GetPreamble();
        bytes.reserve(lines.textLength() + 4096);
        EncodingSink sink(bytes, TEncoding::UTF8());
        convertLines(format, lines, sink);
        sink.flush();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * playlistBytes().size());
}

// dorvane-convert's direct path for UTF-8 input runs in two halves on two
// threads; each half on its own here, over the file's pieces of 256 KiB cut
// after an LF, as the converter reads them.
std::vector<QByteArrayView> playlistPieces() {
    std::vector<QByteArrayView> pieces;
    QByteArrayView rest = playlistBytes();
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    constexpr qsizetype kPiece = 256 * 1024;
    while (!rest.isEmpty()) {
        qsizetype size = rest.size();
        if (size > kPiece)
            if (const void* lf =
                    std::memchr(rest.data() + kPiece, '\n', static_cast<size_t>(size - kPiece)))
                size = static_cast<const char*>(lf) - rest.data() + 1;
        pieces.push_back(rest.first(size));
        rest = rest.sliced(size);
    }
    return pieces;
}

// The reading thread's work once a piece is read: the check of its form and
// the scan for lines, names and addresses.
void BM_DirectCheckAndScan(benchmark::State& state) {
    const std::vector<QByteArrayView> pieces = playlistPieces();
    const TargetFormat& format = formatFor(TTargetKind::tkPLS);
    for (auto _ : state) {
        ByteScanner scanner(format);
        ScannedPiece scanned;
        for (const QByteArrayView piece : pieces) {
            benchmark::DoNotOptimize(isWellFormedUtf8(piece));
            scanner.scan(piece, scanned);
        }
        benchmark::DoNotOptimize(scanner.channels());
    }
    state.SetBytesProcessed(state.iterations() * playlistBytes().size());
}
BENCHMARK(BM_DirectCheckAndScan)->Unit(benchmark::kMillisecond);

// Pieces scanned already, as the writing thread takes them from the reading
// one.
struct ScannedList {
    const std::vector<ScannedPiece>& pieces;
    size_t taken = 0;

    const ScannedPiece* next() { return taken < pieces.size() ? &pieces[taken++] : nullptr; }
    int channels() const { return 0; }
};

// The writing thread's work: the target's lines, in UTF-8 (code page 0) or
// Windows-1251, handed on a megabyte at a time as dorvane-convert writes them.
void BM_DirectWrite(benchmark::State& state) {
    const TargetFormat& format = formatArg(state);
    const TEncoding& encoding =
        state.range(1) ? *TEncoding::ansi(static_cast<int>(state.range(1))) : TEncoding::UTF8();
    state.SetLabel(format.cliName().toString().toStdString() +
                   (state.range(1) ? " cp" + std::to_string(state.range(1)) : " utf-8"));
    const std::vector<QByteArrayView> pieces = playlistPieces();
    std::vector<ScannedPiece> scanned(pieces.size());
    ByteScanner scanner(format);
    for (size_t k = 0; k < pieces.size(); ++k)
        scanner.scan(pieces[k], scanned[k]);
    const qsizetype size = playlistBytes().size();
    for (auto _ : state) {
        QByteArray bytes = format.preamble(encoding);
        ByteLineSink sink(bytes, size + size / 8 + 4096, encoding, format.lineEnd());
        sink.drainEvery(1 << 20,
                        [](QByteArrayView chunk) { benchmark::DoNotOptimize(chunk.data()); });
        ScannedList list{scanned};
        ScannedPieceSource source(list);
        runConversion(format, source, sink);
        sink.finish();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_DirectWrite)
    ->Args({static_cast<int>(TTargetKind::tkPLS), 0})
    ->Args({static_cast<int>(TTargetKind::tkWebTV), 0})
    ->Args({static_cast<int>(TTargetKind::tkPLS), 1251})
    ->Unit(benchmark::kMillisecond);

// Windows-1251 from the playlist's UTF-8, as the direct path encodes names
// and addresses: plainly, and counting the characters the code page lacks,
// as dorvane-convert --ansi does.
void BM_AnsiFromUtf8(benchmark::State& state) {
    const auto& encoding = static_cast<const TAnsiEncoding&>(*TEncoding::ansi(1251));
    const QByteArray& in = playlistBytes();
    QByteArray out(in.size() * 2, Qt::Uninitialized);
    const bool count = state.range(0) != 0;
    state.SetLabel(count ? "counting" : "plain");
    qsizetype replaced = 0;
    for (auto _ : state) {
        const char* end = count ? encoding.encodeUtf8(in.cbegin(), in.cend(), out.data(), replaced)
                                : encoding.encodeUtf8(in.cbegin(), in.cend(), out.data());
        benchmark::DoNotOptimize(end);
    }
    benchmark::DoNotOptimize(replaced);
    state.SetBytesProcessed(state.iterations() * in.size());
}
BENCHMARK(BM_AnsiFromUtf8)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void convertingTargets(benchmark::internal::Benchmark* b) {
    for (const TargetFormat* format : allFormats())
        if (format->converts())
            b->Arg(static_cast<int>(format->kind()));
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_ClassifyConvert)->Apply(convertingTargets);
BENCHMARK(BM_ConvertToBytes)
    ->Arg(static_cast<int>(TTargetKind::tkPLS))
    ->Arg(static_cast<int>(TTargetKind::tkWebTV))
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
