// Cost of the rules and of loading: every click on every reachable state, and
// one full start-up load of a store file.

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
        LoadMenuOptions(o, store);
        LoadTabOptions(o, store);
        benchmark::DoNotOptimize(o.values());
    }
}
BENCHMARK(fullLoadOfAStore)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
