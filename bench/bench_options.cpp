// Cost of the rules and of loading: every click on every reachable state, and
// one full start-up load of a store file.

#include "option_set.h"
#include "option_storage.h"
#include "settings_store.h"

#include <QSet>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace
{

QString key(const OptionSet::State &s)
{
    return QString::fromLatin1(reinterpret_cast<const char *>(s.data()), sizeof s);
}

std::vector<OptionSet::State> reachable()
{
    QSet<QString> seen;
    std::vector<OptionSet::State> states;
    auto visit = [&](const OptionSet::State &s) {
        if (!seen.contains(key(s))) {
            seen.insert(key(s));
            states.push_back(s);
        }
    };
    visit({});
    for (unsigned bits = 0; bits < (1u << 11); ++bits) {
        OptionSet o;
        for (int i = 0; i <= 10; ++i)
            o.setValue(i, (bits >> i) & 1u);
        visit(o.values());
    }
    for (size_t n = 0; n < states.size(); ++n)
        for (int k = 0; k < OptionCount; ++k) {
            OptionSet o(states[n]);
            o.click(k);
            visit(o.values());
        }
    return states;
}

void everyClickOnEveryState(benchmark::State &bench)
{
    const auto states = reachable();
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
