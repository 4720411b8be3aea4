#include "sip/stun.h"

#include "platform/clock.h"
#include "platform/random.h"
#include "platform/signal.h"
#include "platform/tick.h"

#include <algorithm>
#include <cstring>
#include <sys/socket.h>

namespace
{
constexpr int kAttempts = 3;
constexpr uint32_t kAttemptMs = 230;
constexpr size_t kHeader = 20;
// As large as the SIP engine's datagrams: what is not an answer is handed on.
constexpr size_t kAnswerCapacity = 4096;
constexpr uint16_t kBindingRequest = 0x0001;
constexpr uint16_t kBindingResponse = 0x0101;
constexpr uint16_t kMappedAddress = 0x0001;
constexpr uint16_t kChangeRequest = 0x0003;
constexpr uint8_t kFamilyIPv4 = 0x01;

uint16_t Read16(const uint8_t *p)
{
    return (uint16_t)((p[0] << 8) | p[1]);
}

void Write16(uint8_t *p, uint16_t value)
{
    p[0] = (uint8_t)(value >> 8);
    p[1] = (uint8_t)value;
}

bool SameTransaction(const uint8_t *packet, uint32_t word)
{
    return packet[8] == (uint8_t)word && packet[9] == (uint8_t)(word >> 8) &&
           packet[10] == (uint8_t)(word >> 16) && packet[11] == (uint8_t)(word >> 24);
}

// Sends the request and waits out the attempt for the matching answer;
// answers that do not match are dropped and the wait goes on. The attempt's
// time starts before the send: no answer can come before it.
LProcessResult Attempt(LStopTest stop, void *process, const LClock &clock, int socket,
                       const LIPAddressWithPort &server, const uint8_t *request, uint32_t word,
                       LIPAddressWithPort &mapped, const LStunStrays *strays)
{
    uint32_t start = clock.Tick();
    sendto(socket, request, kStunRequestLength, 0, server.GetSockAddr(),
           LIPAddressWithPort::GetSockAddrLength());
    for (;;) {
        if (stop(process))
            return LProcessStopped;
        uint32_t waited = clock.Since(start);
        if (waited >= kAttemptMs)
            return LProcessFailed;
        int slice = std::min<int>((int)(kAttemptMs - waited), (int)LProcessPollMs);
        if (LWaitReadable(&socket, 1, (uint32_t)clock.RealWaitMs(slice)) != 0)
            continue;
        uint8_t answer[kAnswerCapacity];
        sockaddr_in from{};
        socklen_t fromLength = sizeof(from);
        ssize_t got = recvfrom(socket, answer, sizeof(answer) - 1, MSG_DONTWAIT, (sockaddr *)&from,
                               &fromLength);
        if (got < 0)
            continue;
        if (LIPAddressWithPort(from).IsSameAs(server) &&
            LStunCheckMappedAddress(answer, (size_t)got, word, mapped))
            return LProcessSuccess;
        if (strays && *strays)
            (*strays)(reinterpret_cast<const char *>(answer), (size_t)got,
                      LIPAddressWithPort(from));
    }
}
} // namespace

LStunState::LStunState() : counter(LRandom32()) {}

size_t LStunMakeBindingRequest(uint8_t *out, uint32_t transactionWord, bool changeIP)
{
    size_t length = changeIP ? kStunChangeRequestLength : kStunRequestLength;
    memset(out, 0, length);
    Write16(out, kBindingRequest);
    Write16(out + 2, (uint16_t)(length - kHeader));
    for (int i = 0; i < 4; i++)
        out[8 + i] = (uint8_t)(transactionWord >> (8 * i));
    if (changeIP) {
        Write16(out + 20, kChangeRequest);
        Write16(out + 22, 4);
        out[27] = 0x04;
    }
    return length;
}

bool LStunCheckMappedAddress(const uint8_t *packet, size_t length, uint32_t transactionWord,
                             LIPAddressWithPort &address)
{
    if (packet == nullptr || length < kHeader || Read16(packet) != kBindingResponse ||
        !SameTransaction(packet, transactionWord))
        return false;
    size_t remaining = std::min<size_t>(Read16(packet + 2), length - kHeader);
    const uint8_t *p = packet + kHeader;
    while (remaining > 3) {
        uint16_t type = Read16(p);
        size_t valueLength = std::min<size_t>(Read16(p + 2), remaining - 4);
        if (type == kMappedAddress) {
            if (valueLength < 8)
                return false;
            if (p[5] == kFamilyIPv4) {
                uint16_t port = Read16(p + 6);
                uint32_t ip = ((uint32_t)p[8] << 24) | ((uint32_t)p[9] << 16) |
                              ((uint32_t)p[10] << 8) | p[11];
                address = LIPAddressWithPort(ip, port);
                return true;
            }
        }
        p += valueLength + 4;
        remaining -= valueLength + 4;
    }
    return false;
}

LProcessResult LStunSteps::GetAddress(LStopTest stop, void *process, const LClock &clock,
                                      LStunState &state, const char *server, int socket, char *ip,
                                      size_t capacity, int &port, const LStunStrays *strays)
{
    LIPAddressWithPort to;
    if (server == nullptr || !server[0] || !to.SetFromText(server, kStunDefaultPort) ||
        !to.IsValid())
        return LProcessFailed;
    uint8_t request[kStunRequestLength];
    uint32_t word = state.NextTransaction();
    LStunMakeBindingRequest(request, word, false);
    for (int attempt = 0; attempt < kAttempts; attempt++) {
        LIPAddressWithPort mapped;
        LProcessResult result =
            Attempt(stop, process, clock, socket, to, request, word, mapped, strays);
        if (result == LProcessStopped)
            return result;
        if (result == LProcessSuccess) {
            mapped.ToHostString(ip, capacity);
            port = mapped.GetPort();
            return LProcessSuccess;
        }
    }
    return LProcessFailed;
}
