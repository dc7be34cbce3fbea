// Cost of the rules and of the store: every click on every reachable state, one
// full start-up load of a store file, and the line editor on a file of many
// duplicate keys, which must grow linearly with the file.

#include "ini_edit.h"
#include "option_set.h"
#include "option_states.h"
#include "option_storage.h"
#include "settings_store.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace
{

void everyClickOnEveryState(benchmark::State &bench)
{
    const auto states = reachableStates();
    for (auto _ : bench) {
        for (const auto &s : states)
            for (int k = 0; k < OptionCount; ++k) {
                OptionSet o(s);
                o.click(k);
                benchmark::DoNotOptimize(o.values());
            }
    }
    const auto cascades = int64_t(states.size()) * OptionCount;
    bench.counters["states"] = double(states.size());
    bench.counters["per_cascade"] =
        benchmark::Counter(double(cascades) * bench.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(everyClickOnEveryState)->Unit(benchmark::kMicrosecond);

void fullLoadOfAStore(benchmark::State &bench)
{
    QTemporaryDir dir;
    {
        SettingsStore store(dir.path());
        OptionSet o;
        o.setValue(11, 1);
        SaveOptions(o, store);
    }
    for (auto _ : bench) {
        SettingsStore store(dir.path()); // a fresh read of the file, as at start-up
        OptionSet o;
        LoadOptions(o, store);
        benchmark::DoNotOptimize(o.values());
    }
}
BENCHMARK(fullLoadOfAStore)->Unit(benchmark::kMicrosecond);

void editOfDuplicateKeys(benchmark::State &bench)
{
    const int lines = int(bench.range(0));
    QByteArray content = "[Velmora]\n";
    for (int i = 0; i < lines; ++i)
        content +=
            QByteArray(kOptionTable[size_t(i % OptionCount)].key).replace(' ', "%20") + "=0\n";
    std::vector<IniEdit::Assignment> values;
    for (const OptionInfo &option : kOptionTable)
        values.push_back({QString::fromLatin1(option.key), "1"});
    for (auto _ : bench) {
        const IniEdit::Document document(content);
        benchmark::DoNotOptimize(document.assign(QStringLiteral("Velmora"), values));
    }
    bench.SetComplexityN(lines);
}
BENCHMARK(editOfDuplicateKeys)
    ->RangeMultiplier(4)
    ->Range(5000, 80000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Lines that are only "[" open a group each and never close it: the search for
// "]" must stop at the end of the line, or the edit grows as the square.
void editOfUnclosedGroups(benchmark::State &bench)
{
    const QByteArray content = "[Velmora]\nHome=1\n" + QByteArray("[\n").repeated(bench.range(0));
    std::vector<IniEdit::Assignment> values{{QStringLiteral("Home"), "0"}};
    for (auto _ : bench) {
        const IniEdit::Document document(content);
        benchmark::DoNotOptimize(document.assign(QStringLiteral("Velmora"), values));
    }
    bench.SetComplexityN(bench.range(0));
}
BENCHMARK(editOfUnclosedGroups)
    ->RangeMultiplier(4)
    ->Range(16 << 10, 256 << 10)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
