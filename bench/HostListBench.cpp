// Host lists the size of the widely used public ones: a million hosts in
// hosts-file form, loaded and looked up.

#include "settings/CHostList.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>
#include <string>

namespace {

constexpr int kHosts = 1'000'000;

std::string HostName(std::mt19937& random) {
    static constexpr const char* kTlds[] = {"com", "net", "org", "io", "de"};
    std::string host;
    const int labels = 2 + static_cast<int>(random() % 3);
    for (int i = 0; i < labels - 1; ++i) {
        const int length = 3 + static_cast<int>(random() % 10);
        for (int j = 0; j < length; ++j)
            host += static_cast<char>('a' + random() % 26);
        host += '.';
    }
    return host + kTlds[random() % 5];
}

const std::string& ListText() {
    static const std::string text = [] {
        std::mt19937 random(7);
        std::string out;
        for (int i = 0; i < kHosts; ++i)
            out += "0.0.0.0 " + HostName(random) + "\n";
        return out;
    }();
    return text;
}

void BM_HostListLoad(benchmark::State& state) {
    const std::string& text = ListText();
    std::size_t bytes = 0;
    for (auto _ : state) {
        CHostList list;
        list.AddText(text, "big.txt");
        list.Finish();
        bytes = list.MemoryBytes();
        benchmark::DoNotOptimize(list.Size());
    }
    state.counters["held_MB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
    state.counters["text_MB"] = static_cast<double>(text.size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_HostListLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

// Lookups of hosts below listed ones (a hit) and of unlisted hosts (a miss).
void BM_HostListLookup(benchmark::State& state) {
    static const CHostList* const list = [] {
        auto* l = new CHostList;
        l->AddText(ListText(), "big.txt");
        l->Finish();
        return l;
    }();
    std::mt19937 random(7);
    std::vector<std::string> hosts;
    for (int i = 0; i < 1000; ++i) {
        const std::string listed = HostName(random);
        hosts.push_back(state.range(0) ? "cdn.x." + listed : "www.unlisted-" + listed);
    }
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(list->Blocks(hosts[i++ % hosts.size()]));
}
BENCHMARK(BM_HostListLookup)->Arg(1)->Arg(0);

} // namespace
