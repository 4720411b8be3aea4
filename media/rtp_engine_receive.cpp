// The engine's receive thread: reads, reorders and plays out the peer's
// packets on a clock, and keeps the NAT binding open.
#include "media/rtp_engine.h"

#include "media/rtp_receive_stack.h"
#include "platform/signal.h"

#include <memory>

void LRtpEngine::DrainSocket()
{
    unsigned char discard[LRtpHeader::kBufferSize];
    LRtpAddress source;
    while (socket_.ReceivePacket(discard, sizeof discard, source) >= 0) {
    }
}

void LRtpEngine::KeepAlive()
{
    if (clock_.Since(lastSendTime_.load()) <= kKeepAliveMs || !remote_.IsValid())
        return;
    static const unsigned char zeros[4] = {0, 0, 0, 0};
    LRtpAddress to = remote_.Load();
    socket_.SendPacket(zeros, sizeof zeros, to);
    lastSendTime_.store(clock_.Tick());
}

// With nothing arriving (a player that only sends, a caller who went quiet)
// the play-out clock would only feed comfort noise to the receive sink,
// which nobody listens to, 25 times a second. Once the stream has been
// silent this long, no concealment runs and the reorder store is empty,
// the thread sleeps until a packet, a stop or the keep-alive is due.
static constexpr uint32_t kIdleAfterMs = 1000;

uint32_t LRtpEngine::IdleWaitMs() const
{
    uint32_t sinceSend = clock_.Since(lastSendTime_.load());
    return sinceSend <= kKeepAliveMs ? kKeepAliveMs + 1 - sinceSend : kKeepAliveMs;
}

void LRtpEngine::ThreadFunction()
{
    restartPending_.store(false);
    // 64 packet buffers: too big for a thread stack of ordinary size, so
    // made once per run rather than per packet.
    auto stack = std::make_unique<LRtpReceivePacketStack>(session_.GetSettings(), clock_);
    LRtpStreamTarget &target = *this;
    auto decoder = std::make_unique<LRtpStreamDecoder>(target, clock_);
    LRtpHeader packet;
    uint32_t waitMs = 1000;
    DrainSocket();
    // The wait includes the stop signal, so a stop is seen at once.
    LSignalObjectGroup socket;
    socket.AddSocket(socket_.GetHandle());
    uint32_t lastArrival = clock_.Tick();
    while (!IsToStop()) {
        LProcessResult waited = clock_.WaitGroup(*this, socket, waitMs);
        if (waited == LProcessStopped)
            break;
        if (waited == LProcessSuccess) {
            lastArrival = clock_.Tick();
            if (restartPending_.exchange(false))
                stack->Restart();
            if (stack->ReceivePacket(socket_.GetHandle()))
                received_.fetch_add(1, std::memory_order_relaxed);
        }
        bool idle = decoder->IsSilenceMode() && !stack->HasNextPacket() &&
                    clock_.Since(lastArrival) >= kIdleAfterMs;
        if (idle) {
            // Rebases a clock left far behind, so that its interval never
            // nears the tick's wrap however long the stream stays quiet.
            decoder->GetTimeAhead();
            waitMs = IdleWaitMs();
        }
        while (!idle && !IsToStop()) {
            if (!stack->HasNextPacket()) {
                waitMs = (uint32_t)decoder->HandleNoPacketsReceived();
                break;
            }
            if (stack->IsNextExpected()) {
                stack->GetNextPacket(packet);
                decoder->HandlePacketReceived(packet, false);
                if (remoteDirectionActive_.load())
                    remote_.Store(stack->GetLastSource());
                continue;
            }
            int skip = decoder->GetTimeToSkipPacketMS();
            if (skip > 5) {
                waitMs = (uint32_t)skip;
                break;
            }
            stack->GetNextPacket(packet);
            decoder->HandlePacketReceived(packet, true);
        }
        KeepAlive();
    }
}
