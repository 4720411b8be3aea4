// One forwarding thread for the relays of all calls. A thread per relay woke
// once per datagram (a poll, a read and a switch of threads each time); here
// one epoll wait serves whichever sockets of whichever calls are readable,
// and the relay reads a socket once per readiness, so a relayed datagram
// costs one receive and one send. One per exchange, owned by its media
// context; its thread starts with the first relay.
#pragma once

#include "media/rtp_header.h"
#include "media/rtp_relay_socket.h"
#include "platform/thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

// Room for the datagrams one read of a socket takes in: the loop's own, so
// the forwarding path allocates nothing.
struct LRtpRelayBatch {
    static constexpr int kSize = 8;
    LRtpHeader packets[kSize];
    LRtpAddress sources[kSize];
    int lengths[kSize];
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

class LRtpRelayLoop : private LThread
{
  public:
    explicit LRtpRelayLoop(int priority = LThread::StartRealTime);
    // Every client must have been removed.
    ~LRtpRelayLoop() override;

    // Watches the two sockets (a descriptor below 0 is left out) for client
    // until Remove. Returns the id to remove it by, or -1 (logged).
    int Add(LRtpRelayLoopClient &client, int fdA, int fdB, uint32_t quietMs);
    // Once it returns, the loop no longer calls the client. Prompt: it waits
    // at most for the batch of readable sockets in hand.
    void Remove(int id);
    int GetClientCount();

  private:
    struct Slot {
        LRtpRelayLoopClient *client = nullptr;
        int fds[2] = {-1, -1};
        uint32_t quietMs = 0;
        uint32_t lastActive = 0;
        uint32_t generation = 0;
    };
    // Add and Remove announce themselves, so that the loop, which takes the
    // lock again right after each wait, lets them in first.
    class Turn;

    void ThreadFunction() override;
    bool Watch(int fd, uint64_t key);
    void Dispatch(uint64_t key, uint32_t now, LRtpRelayBatch &batch);
    void SendQuietKeepAlives(uint32_t now);
    int NextTimeout(uint32_t now) const;
    void Wake();

    const int priority_;
    int epoll_ = -1;
    int wake_ = -1; // eventfd: a new client or the stop request
    std::mutex lock_;
    std::condition_variable turnDone_;
    std::atomic<int> waiting_{0};
    std::vector<Slot> slots_;
    std::vector<int> free_;
    int clients_ = 0;
    uint32_t nextQuiet_ = 0; // no client's quiet time ends before it
};
