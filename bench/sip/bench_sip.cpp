#include "bench_messages.h"
#include "sip/sipmessage.h"

#include <benchmark/benchmark.h>

namespace
{
void Parse(benchmark::State &state, const std::string &text)
{
    for (auto _ : state) {
        LSipMessage message;
        size_t position = 0;
        bool ok = message.LoadPacket(text.data(), text.size(), position);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(message.FindField(LSipFields::CallID, ""));
    }
    state.SetBytesProcessed((int64_t)(state.iterations() * text.size()));
}

void Reconstruct(benchmark::State &state, const std::string &text)
{
    LSipMessage message;
    size_t position = 0;
    if (!message.LoadPacket(text.data(), text.size(), position)) {
        state.SkipWithError("message does not parse");
        return;
    }
    std::string out;
    out.reserve(4096);
    for (auto _ : state) {
        out.clear();
        message.Reconstruct(out);
        benchmark::DoNotOptimize(out.data());
    }
}

void VelaParseInvite(benchmark::State &state)
{
    Parse(state, bench::InviteWithSdp());
}
void VelaParseRegister(benchmark::State &state)
{
    Parse(state, bench::RegisterWithAuthorization());
}
void VelaReconstructInvite(benchmark::State &state)
{
    Reconstruct(state, bench::InviteWithSdp());
}
void VelaReconstructRegister(benchmark::State &state)
{
    Reconstruct(state, bench::RegisterWithAuthorization());
}
} // namespace

BENCHMARK(VelaParseInvite);
BENCHMARK(VelaParseRegister);
BENCHMARK(VelaReconstructInvite);
BENCHMARK(VelaReconstructRegister);

BENCHMARK_MAIN();
