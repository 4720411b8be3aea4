// libosip2 parsing the same messages, for comparison.
#include "bench_messages.h"

#include <benchmark/benchmark.h>
#include <osipparser2/osip_parser.h>

namespace
{
void OsipParse(benchmark::State &state, const std::string &text)
{
    static const int initialised = parser_init();
    benchmark::DoNotOptimize(initialised);
    for (auto _ : state) {
        osip_message_t *message = nullptr;
        osip_message_init(&message);
        int result = osip_message_parse(message, text.data(), text.size());
        if (result != 0)
            state.SkipWithError("libosip2 rejected the message");
        osip_message_free(message);
    }
    state.SetBytesProcessed((int64_t)(state.iterations() * text.size()));
}

void OsipParseInvite(benchmark::State &state)
{
    OsipParse(state, bench::InviteWithSdp());
}
void OsipParseRegister(benchmark::State &state)
{
    OsipParse(state, bench::RegisterWithAuthorization());
}
} // namespace

BENCHMARK(OsipParseInvite);
BENCHMARK(OsipParseRegister);
