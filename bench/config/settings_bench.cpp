// Cached reads of one key and record writes, in a temporary program folder.
#include "config/settings.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace
{

std::string TempRoot()
{
    static std::string root;
    if (root.empty()) {
        char pattern[] = "/tmp/vela-config-bench-XXXXXX";
        root = mkdtemp(pattern) ? pattern : "/tmp";
        setenv("VELA_ROOT", root.c_str(), 1);
    }
    return root;
}

void CachedGetInt(benchmark::State &state)
{
    TempRoot();
    LSettingSetInt("SIP", "Port", 5060);
    for (auto _ : state)
        benchmark::DoNotOptimize(LSettingGetInt("SIP", "Port", 0));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CachedGetInt);

void RecordWrite(benchmark::State &state)
{
    TempRoot();
    LSettingsRecord rec("lines", "bench");
    for (int i = 0; i < 20; ++i)
        rec.SetInt(("field" + std::to_string(i)).c_str(), i);
    int value = 0;
    for (auto _ : state)
        rec.SetInt("counter", ++value);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RecordWrite);

} // namespace
