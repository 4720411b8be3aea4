// STUN binding requests (RFC 3489) that find the public address a NAT
// router gives one of our UDP sockets.
#pragma once

#include "platform/ipaddress.h"
#include "platform/socket.h"
#include "platform/types.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

class LClock;

constexpr int kStunDefaultPort = 3478;
constexpr size_t kStunRequestLength = 20;
constexpr size_t kStunChangeRequestLength = 28;

// Shared by every resolution of the process (passed down by its owner).
// The counter starts from a random value so that an off-path host cannot
// guess the transaction word of the next request; the backup flag says
// which configured server is asked first.
struct LStunState {
    LStunState();
    uint32_t NextTransaction() { return counter.fetch_add(1) + 1; }
    std::atomic<uint32_t> counter;
    std::atomic<bool> backup{false};
};

// A Binding Request: only bytes 8-11 of the transaction ID are not zero and
// hold the word in little-endian order. With changeIP, a CHANGE-REQUEST
// attribute asks the server to answer from its other address.
size_t LStunMakeBindingRequest(uint8_t *out, uint32_t transactionWord, bool changeIP);

// Whether packet is the Binding Response to transactionWord carrying an IPv4
// MAPPED-ADDRESS; lengths that run past the packet are cut, never trusted.
bool LStunCheckMappedAddress(const uint8_t *packet, size_t length, uint32_t transactionWord,
                             LIPAddressWithPort &address);

// Receives the other datagrams that reach the socket while an answer is
// awaited: on the SIP socket they are SIP, and must not be lost.
using LStunStrays =
    std::function<void(const char *bytes, size_t length, const LIPAddressWithPort &from)>;

namespace LStunSteps
{
LProcessResult GetAddress(LStopTest stop, void *process, const LClock &clock, LStunState &state,
                          const char *server, int socket, char *ip, size_t capacity, int &port,
                          const LStunStrays *strays = nullptr);
} // namespace LStunSteps

// Asks server ("host[:port]", port 3478 by default) from socket, 3 attempts
// of 230 ms of clock. Only answers from the server's own address and port
// count: any other host on the path could otherwise name our public address.
template <class P>
LProcessResult ProcessSTUNGetAddress(P &process, const LClock &clock, LStunState &state,
                                     const char *server, int socket, char *ip, size_t capacity,
                                     int &port)
{
    return LStunSteps::GetAddress(LStopTestOf<P>, &process, clock, state, server, socket, ip,
                                  capacity, port);
}
