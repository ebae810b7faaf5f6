// Applying a recipe to a generated playlist of a million channels in 500
// groups (bench/gen-playlist 1000000 1 500; DORVANE_RECIPE_CHANNELS sets
// another count): a choice alone, and the same choice with 500 renames and
// an order of 1,000 channels, one after the other in the same run.
//   dorvane-bench --benchmark_filter=Recipe
#include "convert/Recipe.h"
#include "playlist/Encoding.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

using namespace dorvane;

namespace {

const TStringList& recipePlaylist() {
    static const TStringList lines = [] {
        const char* count = std::getenv("DORVANE_RECIPE_CHANNELS");
        const QString script = QFileInfo(QStringLiteral(__FILE__)).dir().filePath("gen-playlist");
        const QByteArray command = "python3 '" + script.toLocal8Bit() + "' " +
                                   QByteArray(count ? count : "1000000") + " 1 500";
        QByteArray bytes;
        if (FILE* pipe = ::popen(command.constData(), "r")) {
            char buffer[1 << 16];
            size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                bytes.append(buffer, static_cast<qsizetype>(got));
            ::pclose(pipe);
        }
        if (bytes.isEmpty()) {
            std::fprintf(stderr, "no playlist to measure\n");
            std::exit(1);
        }
        TStringList l;
        l.setText(decodeFileBytes(bytes, TEncoding::UTF8()));
        return l;
    }();
    return lines;
}

// The choice: one group left out, one channel per address.
Recipe choiceRecipe() {
    Recipe recipe;
    recipe.filter.excludedGroups = {QStringLiteral("Group 7")};
    recipe.filter.onePerAddress = true;
    return recipe;
}

// The same choice, with channels spread over the playlist renamed and put
// first in their groups; half of them named by tvg-id, half by group and
// name, as a recipe made from a real list would name them.
Recipe editedRecipe() {
    const TStringList& playlist = recipePlaylist();
    Recipe recipe = choiceRecipe();
    const ChannelIndex index(playlist);
    const ChannelKeys keys(index);
    const auto keyOf = [&](int block, int k) {
        ChannelKey key = keys.key(block);
        if (k % 2 == 0 && key.byId())
            key = {
                {}, index.groupName(index.groupOf(block)).toString(), index.name(block).toString()};
        return key;
    };
    const int blocks = index.blockCount();
    for (int k = 0; k < 500; ++k) {
        const int block = int(qint64(k) * blocks / 500);
        recipe.names.push_back({keyOf(block, k), QStringLiteral("Renamed %1").arg(k)});
    }
    for (int k = 0; k < 1000; ++k)
        recipe.channelOrder.push_back(keyOf(int(qint64(k) * blocks / 1000 + 7), k));
    return recipe;
}

void BM_RecipeChoiceOnly(benchmark::State& state) {
    const TStringList& playlist = recipePlaylist();
    const Recipe recipe = choiceRecipe();
    for (auto _ : state)
        benchmark::DoNotOptimize(applyRecipe(recipe, playlist).lines.Count());
}
BENCHMARK(BM_RecipeChoiceOnly)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_RecipeChoiceAndEdits(benchmark::State& state) {
    const TStringList& playlist = recipePlaylist();
    const Recipe recipe = editedRecipe();
    for (auto _ : state)
        benchmark::DoNotOptimize(applyRecipe(recipe, playlist).lines.Count());
}
BENCHMARK(BM_RecipeChoiceAndEdits)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace
