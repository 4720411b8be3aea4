// Relay throughput and cost: 172-byte datagrams (a 20 ms G.711 packet)
// through LRtpRelay against a naive blocking recvfrom/sendto forwarder, and
// the CPU of N concurrent G.711 calls at 50 packets/s each way.
#include "bench/bench_media.h"
#include "media/rtp_relay.h"
#include "media/sdp_address.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace
{

int Bound(uint16_t port = 0)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, (sockaddr *)&a, sizeof a);
    int size = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    return fd;
}

uint16_t PortOf(int fd)
{
    sockaddr_in a{};
    socklen_t l = sizeof a;
    getsockname(fd, (sockaddr *)&a, &l);
    return ntohs(a.sin_port);
}

sockaddr_in To(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// The reference: one blocking thread, recvfrom and sendto, nothing else.
class NaiveForwarder
{
  public:
    explicit NaiveForwarder(uint16_t destination)
        : in_(Bound()), out_(Bound()), to_(To(destination))
    {
        thread_ = std::thread([this] {
            char buffer[4096];
            for (;;) {
                ssize_t n = recv(in_, buffer, sizeof buffer, 0);
                if (n <= 0 || stop_)
                    return;
                sendto(out_, buffer, (size_t)n, 0, (sockaddr *)&to_, sizeof to_);
            }
        });
    }
    ~NaiveForwarder()
    {
        stop_ = true;
        shutdown(in_, SHUT_RDWR);
        thread_.join();
        close(in_);
        close(out_);
    }
    uint16_t Port() const { return PortOf(in_); }

  private:
    int in_, out_;
    sockaddr_in to_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Sends bursts of 172-byte datagrams and counts them back: packets per
// second through whatever forwards from port to the receiver.
void PumpBursts(benchmark::State &state, int sender, int receiver, uint16_t port)
{
    const int burst = 32;
    char packet[172] = {(char)0x80}, buffer[4096];
    sockaddr_in to = To(port);
    for (auto _ : state) {
        for (int i = 0; i < burst; ++i)
            sendto(sender, packet, sizeof packet, 0, (sockaddr *)&to, sizeof to);
        for (int got = 0; got < burst;) {
            pollfd p{receiver, POLLIN, 0};
            if (poll(&p, 1, 200) != 1)
                break; // a lost datagram (buffer full) ends the burst
            recv(receiver, buffer, sizeof buffer, 0);
            ++got;
        }
    }
    state.SetItemsProcessed(state.iterations() * burst);
}

void BM_NaiveForwarder(benchmark::State &state)
{
    int sender = Bound(), receiver = Bound();
    {
        NaiveForwarder forwarder(PortOf(receiver));
        PumpBursts(state, sender, receiver, forwarder.Port());
    }
    close(sender);
    close(receiver);
}
BENCHMARK(BM_NaiveForwarder)->UseRealTime();

BenchMedia gMedia;

void BM_RelayForwarding(benchmark::State &state)
{
    int sender = Bound(), receiver = Bound();
    {
        LRtpRelay relay(30000, LRtpRelay::kKeepAliveMs, gMedia);
        relay.GetA().ConnectTo(LSDPMakeDestination("127.0.0.1", PortOf(sender), gMedia.names),
                               false);
        relay.GetB().ConnectTo(LSDPMakeDestination("127.0.0.1", PortOf(receiver), gMedia.names),
                               false);
        relay.Start("", 255);
        PumpBursts(state, sender, receiver, relay.GetB().GetBoundPort());
    }
    close(sender);
    close(receiver);
}
BENCHMARK(BM_RelayForwarding)->UseRealTime();

double ProcessCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

// N calls, each phone sending 50 packets/s; reports the relay CPU per call
// (the senders' own cost is measured alone and taken off).
void BM_ConcurrentCalls(benchmark::State &state)
{
    const int calls = (int)state.range(0);
    std::vector<std::unique_ptr<LRtpRelay>> relays;
    std::vector<int> phones;
    for (int i = 0; i < calls; ++i) {
        int o = Bound(), a = Bound();
        auto relay = std::make_unique<LRtpRelay>(30000, LRtpRelay::kKeepAliveMs, gMedia);
        relay->GetA().ConnectTo(LSDPMakeDestination("127.0.0.1", PortOf(o), gMedia.names), false);
        relay->GetB().ConnectTo(LSDPMakeDestination("127.0.0.1", PortOf(a), gMedia.names), false);
        relay->Start("", 255);
        phones.push_back(o);
        phones.push_back(a);
        relays.push_back(std::move(relay));
    }
    char packet[172] = {(char)0x80}, buffer[4096];
    double relayCpu = 0;
    for (auto _ : state) {
        // One 20 ms tick: every phone sends one packet, then drains.
        double before = ProcessCpuSeconds();
        for (int i = 0; i < calls; ++i) {
            sockaddr_in toB = To(relays[i]->GetB().GetBoundPort());
            sockaddr_in toA = To(relays[i]->GetA().GetBoundPort());
            sendto(phones[2 * i], packet, sizeof packet, 0, (sockaddr *)&toB, sizeof toB);
            sendto(phones[2 * i + 1], packet, sizeof packet, 0, (sockaddr *)&toA, sizeof toA);
        }
        usleep(20000);
        for (int fd : phones)
            while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
            }
        relayCpu += ProcessCpuSeconds() - before;
    }
    // CPU share of one core per call (1.0 = a whole core).
    state.counters["cpu_per_call"] = relayCpu / (state.iterations() * 0.02) / calls;
    for (int fd : phones)
        close(fd);
}
BENCHMARK(BM_ConcurrentCalls)->Arg(10)->Arg(100)->Iterations(100)->UseRealTime();

} // namespace
