// One forwarding thread for the relays of all calls. A thread per relay woke
// once per datagram (a poll, a read and a switch of threads each time); here
// one epoll wait serves whichever sockets of whichever calls are readable,
// and the relay reads a socket once per readiness, so a relayed datagram
// costs one receive and one send. One per exchange, owned by its media
// context; its thread starts with the first relay.
#pragma once

#include "media/rtp_header.h"
#include "media/rtp_relay_socket.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/udp_batch.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Room for the datagrams one read of a socket takes in: the loop's own, so
// the forwarding path allocates nothing. Each lands in a packet's buffer, so
// the recorder takes it where it is.
class LRtpRelayBatch : public LUdpDatagramBatch<8, LRtpHeader::kMaxDatagram, LRtpHeader>
{
  public:
    static constexpr int kSize = kCount;
    static_assert(offsetof(LRtpHeader, data) == 0);
};

class LRtpRelayLoopClient
{
  public:
    virtual ~LRtpRelayLoopClient() = default;
    // Socket A (fromA) or B has datagrams waiting; read one batch at most
    // (what stays waiting is reported again).
    virtual void OnReadable(bool fromA, LRtpRelayBatch &batch) = 0;
    // Neither socket had a datagram for the client's quiet time.
    virtual void OnQuiet() = 0;
};

class LRtpRelayLoop
{
  public:
    // lanes: forwarding threads, each serving its own share of the relays
    // (a new relay goes to the lane with the fewest), so the calls use every
    // core and a thread kept off its core delays only its share. Quiet times
    // run on clock.
    explicit LRtpRelayLoop(const LClock &clock, int lanes = 2,
                           int priority = LThread::StartRealTime);
    // Every client must have been removed.
    ~LRtpRelayLoop();
    LRtpRelayLoop(const LRtpRelayLoop &) = delete;
    LRtpRelayLoop &operator=(const LRtpRelayLoop &) = delete;

    // Watches the two sockets (a descriptor below 0 is left out) for client
    // until Remove. Returns the id to remove it by, or -1 (logged).
    int Add(LRtpRelayLoopClient &client, int fdA, int fdB, uint32_t quietMs);
    // Once it returns, the loop no longer calls the client. Prompt: it waits
    // at most for the batch of readable sockets in hand.
    void Remove(int id);
    int GetClientCount();

  private:
    class Lane;
    std::vector<std::unique_ptr<Lane>> lanes_;
};
