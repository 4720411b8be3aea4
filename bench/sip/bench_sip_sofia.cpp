// sofia-sip parsing the same messages, for comparison. msg_make parses the
// whole message, every header of a known kind included.
#include "bench_messages.h"

#include <benchmark/benchmark.h>
#include <sofia-sip/msg.h>
#include <sofia-sip/sip_header.h>

namespace
{
void SofiaParse(benchmark::State &state, const std::string &text)
{
    for (auto _ : state) {
        msg_t *message = msg_make(sip_default_mclass(), 0, text.data(), (ssize_t)text.size());
        if (!message) {
            state.SkipWithError("sofia-sip rejected the message");
            break;
        }
        sip_t *sip = sip_object(message);
        if (!sip || !sip->sip_call_id)
            state.SkipWithError("sofia-sip found no Call-ID");
        msg_destroy(message);
    }
    state.SetBytesProcessed((int64_t)(state.iterations() * text.size()));
}

void SofiaParseInvite(benchmark::State &state)
{
    SofiaParse(state, bench::InviteWithSdp());
}
void SofiaParseRegister(benchmark::State &state)
{
    SofiaParse(state, bench::RegisterWithAuthorization());
}
} // namespace

BENCHMARK(SofiaParseInvite);
BENCHMARK(SofiaParseRegister);
