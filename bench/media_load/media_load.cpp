// The RTP ends of the media-load run: for each of <calls> calls one UDP
// socket on the caller's address and one on the callee's. It writes their
// ports as SIPp injection files (the phones offer them in their SDP), waits
// until SIPp has logged, per call, the media address the exchange gave each
// phone, then sends G.711 (PCMU, 160 bytes every 20 ms) from every socket to
// its relay port for <seconds>, and receives both directions. Per receiving
// stream: packets expected and received (RTP sequence numbers) and the RFC
// 3550 interarrival jitter from the kernel's receive times; over all: the
// transit time through the exchange (the send time travels in the payload)
// and the exchange's CPU time over the sending window.
//   media_load <calls> <seconds> <folder> <exchange pid> <caller ip> <callee ip>
// Files in <folder>: caller.csv, callee.csv (written), ready (written once
// the csv files are complete), caller.log, callee.log (read: one line
// "<our port> <relay ip> <relay port>" per call, written by SIPp).
#include "bench/media_load/rtp_stream_stats.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int kPacketMs = 20;
constexpr int kPayload = 160; // PCMU, 8000 Hz
constexpr int kPhases = 20;   // send instants 1 ms apart within each 20 ms
constexpr uint32_t kSsrcBase = 0x56100000;
constexpr int64_t kBinNs = 10000; // transit histogram: 10 us bins up to 500 ms
constexpr int kBins = 50000;

int64_t Now(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// Big-endian fields of an RTP header.
uint32_t Read(const unsigned char *p, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++)
        v = v << 8 | p[i];
    return v;
}
void Write(unsigned char *p, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; i--, v >>= 8)
        p[i] = (unsigned char)v;
}

struct Stream {
    int fd = -1;
    uint16_t port = 0;
    sockaddr_in relay{};
    bool mapped = false;
    // Receiving side: the first SSRC that arrives owns the socket.
    uint32_t ssrc = 0;
    RtpStreamStats stats;
    // The same jitter over the real send times instead of the schedule:
    // what the exchange adds, without this tool's own lateness.
    RtpStreamStats exchangeOnly{1000000};
    uint64_t foreign = 0; // packets of another SSRC
};

bool OpenStream(Stream &s, const char *ip)
{
    s.fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    socklen_t len = sizeof a;
    int on = 1, buffer = 1 << 18;
    if (s.fd < 0 || inet_pton(AF_INET, ip, &a.sin_addr) != 1 ||
        bind(s.fd, (sockaddr *)&a, sizeof a) != 0 || getsockname(s.fd, (sockaddr *)&a, &len) != 0)
        return false;
    setsockopt(s.fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    setsockopt(s.fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    s.port = ntohs(a.sin_port);
    return true;
}

bool WriteInjection(const std::string &path, const std::vector<Stream> &streams, size_t from,
                    size_t count)
{
    std::ofstream out(path);
    out << "SEQUENTIAL\n";
    for (size_t i = from; i < from + count; i++)
        out << streams[i].port << ";\n";
    return (bool)out;
}

// Maps the "<our port> <relay ip> <relay port>" lines of a SIPp log onto the
// streams; returns how many of them are mapped.
size_t ReadRelayLog(const std::string &path, std::map<uint16_t, Stream *> &byPort)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
        if (w.size() < 3)
            continue;
        auto found = byPort.find((uint16_t)atoi(w[w.size() - 3].c_str()));
        if (found == byPort.end() || found->second->mapped)
            continue;
        Stream &s = *found->second;
        s.relay.sin_family = AF_INET;
        s.relay.sin_port = htons((uint16_t)atoi(w.back().c_str()));
        s.mapped = inet_pton(AF_INET, w[w.size() - 2].c_str(), &s.relay.sin_addr) == 1;
    }
    size_t mapped = 0;
    for (auto &[port, s] : byPort)
        mapped += s->mapped ? 1 : 0;
    return mapped;
}

// user + system clock ticks of a process, or -1.
long long CpuTicks(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    size_t end = text.rfind(')');
    if (end == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(end + 2));
    std::string f;
    long long utime = 0, stime = 0;
    for (int i = 3; fields >> f; i++) { // field 3 is the state
        if (i == 14)
            utime = atoll(f.c_str());
        if (i == 15) {
            stime = atoll(f.c_str());
            return utime + stime;
        }
    }
    return -1;
}

class Receiver
{
  public:
    explicit Receiver(std::vector<Stream> &streams) : streams_(streams), transit_(kBins + 1, 0) {}

    void Run()
    {
        int ep = epoll_create1(EPOLL_CLOEXEC);
        for (size_t i = 0; i < streams_.size(); i++) {
            epoll_event e{EPOLLIN, {.u64 = i}};
            epoll_ctl(ep, EPOLL_CTL_ADD, streams_[i].fd, &e);
        }
        epoll_event ready[64];
        while (!stop_.load()) {
            int n = epoll_wait(ep, ready, 64, 100);
            for (int i = 0; i < n; i++)
                Drain(streams_[ready[i].data.u64]);
        }
        close(ep);
    }
    void Stop() { stop_.store(true); }

    // Transit time through the exchange at quantile q (0..1), in ms.
    double TransitMs(double q) const
    {
        uint64_t want = (uint64_t)(q * (double)count_), seen = 0;
        for (int b = 0; b <= kBins; b++)
            if ((seen += transit_[b]) > want || (seen == count_ && seen > 0))
                return (double)(b + 1) * kBinNs / 1e6;
        return 0;
    }
    double MeanTransitMs() const { return count_ ? sumNs_ / (double)count_ / 1e6 : 0; }
    double MaxTransitMs() const { return maxNs_ / 1e6; }

  private:
    void Drain(Stream &s)
    {
        unsigned char buffer[2048];
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        for (;;) {
            iovec io{buffer, sizeof buffer};
            msghdr m{};
            m.msg_iov = &io;
            m.msg_iovlen = 1;
            m.msg_control = control;
            m.msg_controllen = sizeof control;
            ssize_t got = recvmsg(s.fd, &m, 0);
            if (got < 0)
                return;
            cmsghdr *c = CMSG_FIRSTHDR(&m);
            if (got < 12 + 8 || (buffer[0] >> 6) != 2 || c == nullptr ||
                c->cmsg_type != SCM_TIMESTAMPNS)
                continue;
            timespec t;
            memcpy(&t, CMSG_DATA(c), sizeof t);
            int64_t arrival = t.tv_sec * 1000000000LL + t.tv_nsec, sent;
            uint32_t ssrc = Read(buffer + 8, 4);
            if (s.stats.Received() == 0)
                s.ssrc = ssrc;
            if (ssrc != s.ssrc) {
                s.foreign++;
                continue;
            }
            s.stats.Add((uint16_t)Read(buffer + 2, 2), Read(buffer + 4, 4), arrival);
            memcpy(&sent, buffer + 12, sizeof sent);
            s.exchangeOnly.Add((uint16_t)Read(buffer + 2, 2), (uint32_t)(sent / 1000), arrival);
            int64_t transit = std::max<int64_t>(0, arrival - sent);
            transit_[std::min<int64_t>(transit / kBinNs, kBins)]++;
            count_++;
            sumNs_ += (double)transit;
            maxNs_ = std::max(maxNs_, transit);
        }
    }

    std::vector<Stream> &streams_;
    std::atomic<bool> stop_{false};
    std::vector<uint64_t> transit_;
    uint64_t count_ = 0;
    double sumNs_ = 0;
    int64_t maxNs_ = 0;
};

struct Lateness {
    double sumMs = 0, maxMs = 0;
    uint64_t count = 0;
};

// Every stream sends one packet per 20 ms. The calls are spread over
// kPhases phases 1 ms apart, and the callee of a call sends half a period
// after its caller, as two phones that do not know each other's clock would:
// each packet then wakes its relay on its own. The RTP timestamp follows the
// schedule; the payload starts with the real send time.
Lateness Send(std::vector<Stream> &streams, int packets)
{
    Lateness late;
    unsigned char packet[12 + kPayload];
    memset(packet, 0xFF, sizeof packet); // PCMU silence
    packet[0] = 0x80;
    packet[1] = 0; // PCMU
    size_t calls = streams.size() / 2;
    std::vector<size_t> phases[kPhases];
    for (size_t i = 0; i < streams.size(); i++)
        phases[(i < calls ? i : i - calls + kPhases / 2) % kPhases].push_back(i);
    int64_t start = Now(CLOCK_MONOTONIC) + 50000000;
    for (int k = 0; k < packets; k++) {
        for (int phase = 0; phase < kPhases; phase++) {
            int64_t due = start + (int64_t)k * kPacketMs * 1000000 +
                          (int64_t)phase * kPacketMs * 1000000 / kPhases;
            timespec at{(time_t)(due / 1000000000), (long)(due % 1000000000)};
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
            }
            double lateMs = (double)(Now(CLOCK_MONOTONIC) - due) / 1e6;
            late.sumMs += lateMs;
            late.maxMs = std::max(late.maxMs, lateMs);
            late.count++;
            for (size_t i : phases[phase]) {
                // Start sequence numbers spread so that some wrap in a run.
                uint16_t sequence = (uint16_t)(i * 331 + k);
                uint32_t timestamp = (uint32_t)(i * 7777 + k * kPayload);
                Write(packet + 2, sequence, 2);
                Write(packet + 4, timestamp, 4);
                Write(packet + 8, kSsrcBase + (uint32_t)i, 4);
                int64_t sent = Now(CLOCK_REALTIME); // the clock of SO_TIMESTAMPNS
                memcpy(packet + 12, &sent, sizeof sent);
                sendto(streams[i].fd, packet, sizeof packet, 0, (sockaddr *)&streams[i].relay,
                       sizeof streams[i].relay);
            }
        }
    }
    return late;
}

void Report(const std::vector<Stream> &streams, const Receiver &receiver, int packets,
            const Lateness &late)
{
    size_t calls = streams.size() / 2, heard = 0;
    int64_t expected = 0, received = 0, lost = 0, worstLost = 0, foreign = 0;
    double jitterSum = 0, jitterWorst = 0, runningWorst = 0, addedSum = 0, addedWorst = 0;
    std::map<uint32_t, int> owners; // ssrc -> receiving sockets
    for (const Stream &s : streams) {
        foreign += (int64_t)s.foreign;
        if (s.stats.Received() == 0)
            continue;
        heard++;
        owners[s.ssrc]++;
        expected += s.stats.Expected();
        received += s.stats.Received();
        lost += s.stats.Lost();
        worstLost = std::max(worstLost, s.stats.Lost());
        jitterSum += s.stats.JitterMs();
        jitterWorst = std::max(jitterWorst, s.stats.JitterMs());
        runningWorst = std::max(runningWorst, s.stats.MaxJitterMs());
        addedSum += s.exchangeOnly.JitterMs();
        addedWorst = std::max(addedWorst, s.exchangeOnly.MaxJitterMs());
    }
    bool oneToOne = owners.size() == heard;
    int64_t sent = (int64_t)streams.size() * packets;
    printf("streams: %zu received of %zu (%zu calls, both directions), one sender each: %s\n",
           heard, streams.size(), calls, oneToOne ? "yes" : "NO");
    printf("packets: sent %lld, expected (sequence numbers) %lld, received %lld, lost %lld "
           "(%.4f%%), worst stream %lld, sent but not received %lld, other SSRC %lld\n",
           (long long)sent, (long long)expected, (long long)received, (long long)lost,
           expected ? 100.0 * (double)lost / (double)expected : 0.0, (long long)worstLost,
           (long long)(sent - received), (long long)foreign);
    printf("jitter (RFC 3550, at the end): mean %.3f ms, worst stream %.3f ms; highest during "
           "the run %.3f ms\n",
           heard ? jitterSum / (double)heard : 0.0, jitterWorst, runningWorst);
    printf("jitter over the real send times (the exchange's share): mean %.3f ms, highest "
           "during the run %.3f ms\n",
           heard ? addedSum / (double)heard : 0.0, addedWorst);
    printf("transit through the exchange: mean %.3f ms, p50 %.2f, p99 %.2f, p99.9 %.2f, "
           "max %.2f ms\n",
           receiver.MeanTransitMs(), receiver.TransitMs(0.5), receiver.TransitMs(0.99),
           receiver.TransitMs(0.999), receiver.MaxTransitMs());
    printf("sender lateness (this tool, per 1 ms phase): mean %.3f ms, max %.2f ms\n",
           late.count ? late.sumMs / (double)late.count : 0.0, late.maxMs);
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 7) {
        fprintf(stderr, "usage: %s calls seconds folder pid caller-ip callee-ip\n", argv[0]);
        return 2;
    }
    int calls = atoi(argv[1]), seconds = atoi(argv[2]), pid = atoi(argv[4]);
    std::string folder = argv[3];
    std::vector<Stream> streams((size_t)calls * 2);
    std::map<uint16_t, Stream *> callerPorts, calleePorts;
    for (int i = 0; i < calls * 2; i++) {
        const char *ip = i < calls ? argv[5] : argv[6];
        if (!OpenStream(streams[i], ip)) {
            fprintf(stderr, "cannot bind a UDP socket on %s: %s\n", ip, strerror(errno));
            return 1;
        }
        (i < calls ? callerPorts : calleePorts)[streams[i].port] = &streams[i];
    }
    if (!WriteInjection(folder + "/caller.csv", streams, 0, calls) ||
        !WriteInjection(folder + "/callee.csv", streams, calls, calls) ||
        !std::ofstream(folder + "/ready"))
        return 1;
    // Both phones of every call must have logged their relay address.
    size_t mapped = 0;
    for (int waited = 0; waited < 600 + calls; waited++) {
        mapped = ReadRelayLog(folder + "/caller.log", callerPorts) +
                 ReadRelayLog(folder + "/callee.log", calleePorts);
        if (mapped == streams.size())
            break;
        usleep(200000);
    }
    if (mapped != streams.size()) {
        fprintf(stderr, "only %zu of %zu streams got a relay address\n", mapped, streams.size());
        return 1;
    }
    Receiver receiver(streams);
    std::thread receiving([&receiver] { receiver.Run(); });
    int packets = seconds * 1000 / kPacketMs;
    long long cpu0 = CpuTicks(pid);
    int64_t t0 = Now(CLOCK_MONOTONIC);
    rusage own0{}, own1{};
    getrusage(RUSAGE_SELF, &own0);
    Lateness late = Send(streams, packets);
    long long cpu1 = CpuTicks(pid);
    double window = (double)(Now(CLOCK_MONOTONIC) - t0) / 1e9;
    getrusage(RUSAGE_SELF, &own1);
    usleep(500000); // the last packets in flight
    receiver.Stop();
    receiving.join();
    Report(streams, receiver, packets, late);
    double cpu = (double)(cpu1 - cpu0) / (double)sysconf(_SC_CLK_TCK);
    auto seconds_of = [](const timeval &t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; };
    double own = seconds_of(own1.ru_utime) + seconds_of(own1.ru_stime) - seconds_of(own0.ru_utime) -
                 seconds_of(own0.ru_stime);
    printf("exchange CPU (user+system): %.2f s over %.1f s = %.1f%% of one core, %.3f%% per "
           "call, %.2f us per relayed packet\n",
           cpu, window, 100 * cpu / window, 100 * cpu / window / calls,
           1e6 * cpu / ((double)streams.size() * packets));
    printf("this tool's CPU: %.1f%% of one core\n", 100 * own / window);
    return 0;
}
