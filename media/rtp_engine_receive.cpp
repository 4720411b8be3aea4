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
    while (!IsToStop()) {
        LProcessResult waited = clock_.WaitGroup(*this, socket, waitMs);
        if (waited == LProcessStopped)
            break;
        if (waited == LProcessSuccess) {
            if (restartPending_.exchange(false))
                stack->Restart();
            if (stack->ReceivePacket(socket_.GetHandle()))
                received_.fetch_add(1, std::memory_order_relaxed);
        }
        while (!IsToStop()) {
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
