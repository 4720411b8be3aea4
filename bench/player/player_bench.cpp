// CPU of the exchange's player per playing channel: hold music from a wave
// file, looped, converted to 8000 Hz, peak-limited, PCMU-encoded and sent
// as RTP over loopback.
//   PlayingChannels/<rate>/<channels>: real LPBXPlayers, paced by their send
//     sinks in real time; the process's CPU over the run, per channel.
//   ChainPerFrame/<rate>: the same chain driven one 20 ms frame at a time
//     without the pacing sleeps, for a per-frame time and for profiling.
#include "bench/bench_media.h"
#include "media/callsources.h"
#include "media/codecs/sampleformats.h"
#include "media/convertrate.h"
#include "media/pbx_player.h"
#include "media/peaklimit.h"
#include "media/rtp_header.h"
#include "media/rtp_send_sequencer.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace
{
BenchMedia gMedia;
// Players pace their sending in real time, as in the exchange.
LSystemClock gClock;

// A temporary shared data folder whose "Hold.wav" is 8 s of a two-note
// melody in 16-bit mono at rate; the settings tree is kept there too.
class HoldFolder
{
  public:
    explicit HoldFolder(int rate)
    {
        char pattern[] = "/tmp/vela-player-bench-XXXXXX";
        path = mkdtemp(pattern);
        setenv("VELA_ROOT", path.c_str(), 1);
        std::vector<int16_t> pcm((size_t)rate * 8);
        for (size_t i = 0; i < pcm.size(); i++) {
            double t = (double)i / rate, hz = fmod(t, 1.0) < 0.5 ? 523.25 : 659.25;
            pcm[i] = (int16_t)(12000 * sin(2 * M_PI * hz * t));
        }
        uint32_t bytes = (uint32_t)(pcm.size() * 2);
        auto u32 = [](uint32_t v) { return std::string((const char *)&v, 4); };
        auto u16 = [](uint16_t v) { return std::string((const char *)&v, 2); };
        std::string wave = "RIFF" + u32(36 + bytes) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
                           u32((uint32_t)rate) + u32((uint32_t)rate * 2) + u16(2) + u16(16) +
                           "data" + u32(bytes);
        FILE *file = fopen((path + "/Hold.wav").c_str(), "wb");
        fwrite(wave.data(), 1, wave.size(), file);
        fwrite(pcm.data(), 2, pcm.size(), file);
        fclose(file);
    }
    ~HoldFolder()
    {
        unlink((path + "/Hold.wav").c_str());
        rmdir(path.c_str());
        unsetenv("VELA_ROOT");
    }
    LSoundSource OpenHold() const { return LPlayerSources(path).OpenSourceHold("-"); }

  private:
    std::string path;
};

// A loopback UDP socket nobody reads: the kernel drops what overflows it,
// after the sender has paid for every packet.
struct Receiver {
    Receiver()
    {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        bind(fd, (sockaddr *)&address, length);
        getsockname(fd, (sockaddr *)&address, &length);
        port = ntohs(address.sin_port);
    }
    ~Receiver() { close(fd); }
    int fd;
    int port;
};

double ProcessCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

void PlayingChannels(benchmark::State &state)
{
    HoldFolder folder((int)state.range(0));
    const int channels = (int)state.range(1);
    Receiver receiver;
    std::string answer = "v=0\r\no=bench 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\n"
                         "t=0 0\r\nm=audio " +
                         std::to_string(receiver.port) + " RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n";
    std::vector<std::unique_ptr<LPBXPlayer>> players;
    for (int i = 0; i < channels; i++) {
        auto player = std::make_unique<LPBXPlayer>(gMedia, gClock);
        std::string offer;
        if (!player->Initialize()) {
            state.SkipWithError("no RTP port");
            return;
        }
        player->CreateOfferSDP(offer);
        player->ReceiveAnswerSDP(answer);
        if (!player->Start(folder.OpenHold())) {
            state.SkipWithError("the hold source did not open");
            return;
        }
        players.push_back(std::move(player));
    }
    // Past the 240 ms the senders write ahead at the start.
    usleep(500000);
    double cpu = 0, seconds = 0;
    for (auto _ : state) {
        timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        double before = ProcessCpuSeconds();
        usleep(100000);
        cpu += ProcessCpuSeconds() - before;
        timespec end;
        clock_gettime(CLOCK_MONOTONIC, &end);
        seconds += (double)(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    }
    players.clear();
    // Share of one core per channel (percent), and per 20 ms frame sent.
    state.counters["core_pct_per_channel"] = 100 * cpu / seconds / channels;
    state.counters["us_per_frame"] = 1e6 * cpu / (seconds * 50 * channels);
}
BENCHMARK(PlayingChannels)
    ->ArgsProduct({{8000, 44100}, {1, 10, 50}})
    ->Iterations(30)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The pump's chain frame by frame: what LStreamPlayer reads (converted,
// limited) and what the send sink does with it (PCMU, RTP header, sendto),
// without the sink's pacing.
void ChainPerFrame(benchmark::State &state)
{
    HoldFolder folder((int)state.range(0));
    Receiver receiver;
    LSoundSource source = folder.OpenHold();
    LSPConvertSourceRateChannels(8000, 1, source);
    source = LSPPeakLimit(kSoundPeak16).OpenSource(source);
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons((uint16_t)receiver.port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    LRTPSendSequencer sequencer(gClock);
    LRtpHeader packet;
    packet.InitializeRtpHeader(0, sequencer.GetSSRC(), false);
    int samples[160];
    for (auto _ : state) {
        source.Read(samples, 160);
        ConvertSamplesOut((LSFULAW *)packet.GetPayload(), samples, 160);
        sequencer.Stamp(packet, 160);
        sendto(fd, packet.data, LRtpHeader::kHeaderSize + 160, 0, (sockaddr *)&to, sizeof(to));
    }
    close(fd);
}
BENCHMARK(ChainPerFrame)->Arg(8000)->Arg(44100);
} // namespace
