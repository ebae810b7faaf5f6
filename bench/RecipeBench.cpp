// Applying a recipe to a generated playlist of a million channels in 500
// groups (bench/gen-playlist 1000000 1 500; DORVANE_RECIPE_CHANNELS sets
// another count): a choice alone, and the same choice with 500 renames and
// an order of 1,000 channels, in turns in the same run.
//   dorvane-bench --benchmark_filter=Recipe
#include "GeneratedPlaylist.h"
#include "convert/Recipe.h"
#include "playlist/Encoding.h"
#include "playlist/StringList.h"
#include "playlist/TextFile.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using namespace dorvane;

namespace {

const TStringList& recipePlaylist() {
    static const TStringList lines = [] {
        const char* count = std::getenv("DORVANE_RECIPE_CHANNELS");
        const QByteArray bytes =
            bench::generatedPlaylist(QByteArray(count ? count : "1000000") + " 1 500");
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

// The choice: one group left out, and with `dedupe` one channel per
// address (which numbers every address, and takes longer than the rest).
Recipe choiceRecipe(bool dedupe) {
    Recipe recipe;
    recipe.filter.excludedGroups = {QStringLiteral("Group 7")};
    recipe.filter.onePerAddress = dedupe;
    return recipe;
}

// The same choice, with channels spread over the playlist renamed and put
// first in their groups; half of them named by tvg-id, half by group and
// name, as a recipe made from a real list would name them.
Recipe editedRecipe(bool dedupe) {
    const TStringList& playlist = recipePlaylist();
    Recipe recipe = choiceRecipe(dedupe);
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
        recipe.channelOrder.push_back(
            keyOf(std::min(blocks - 1, int(qint64(k) * blocks / 1000 + 7)), k));
    return recipe;
}

// Wall-clock and CPU time of one call, in milliseconds.
struct Took {
    double wall;
    double cpu;
};
template <typename F> Took timed(F&& f) {
    const auto cpuNow = [] {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    };
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = cpuNow();
    f();
    const double cpu = cpuNow() - cpu0;
    return {
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count(),
        cpu};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Each round applies both recipes, in turns first, so that a machine that
// others keep busy slows both alike; the counters are medians over the
// rounds, the ratios taken within each round.
void BM_RecipeEditsAgainstChoice(benchmark::State& state) {
    const TStringList& playlist = recipePlaylist();
    const bool dedupe = state.range(0) != 0;
    const Recipe choice = choiceRecipe(dedupe);
    const Recipe edited = editedRecipe(dedupe);
    std::vector<double> choiceWall, editsWall, choiceCpu, editsCpu, wallRatio, cpuRatio;
    bool editsFirst = false;
    for (auto _ : state) {
        const auto apply = [&](const Recipe& recipe) {
            return timed(
                [&] { benchmark::DoNotOptimize(applyRecipe(recipe, playlist).lines.Count()); });
        };
        Took plain{}, edits{};
        if (editsFirst) {
            edits = apply(edited);
            plain = apply(choice);
        } else {
            plain = apply(choice);
            edits = apply(edited);
        }
        editsFirst = !editsFirst;
        choiceWall.push_back(plain.wall);
        editsWall.push_back(edits.wall);
        choiceCpu.push_back(plain.cpu);
        editsCpu.push_back(edits.cpu);
        wallRatio.push_back(edits.wall / plain.wall);
        cpuRatio.push_back(edits.cpu / plain.cpu);
    }
    state.counters["choice_ms"] = median(choiceWall);
    state.counters["edits_ms"] = median(editsWall);
    state.counters["ratio"] = median(wallRatio);
    state.counters["choice_cpu_ms"] = median(choiceCpu);
    state.counters["edits_cpu_ms"] = median(editsCpu);
    state.counters["cpu_ratio"] = median(cpuRatio);
}
BENCHMARK(BM_RecipeEditsAgainstChoice)
    ->ArgName("dedupe")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(8);

} // namespace
