// The engine's receive thread: reads, reorders and plays out the peer's
// packets on a clock, and keeps the NAT binding open.
#include "media/rtp_engine.h"

#include "media/rtp_receive_stack.h"
#include "platform/signal.h"
#include "platform/tick.h"

#include <algorithm>
#include <memory>
#include <poll.h>

static constexpr uint32_t kWaitSliceMs = 200;

void LRtpEngine::DrainSocket()
{
    unsigned char discard[LRtpHeader::kBufferSize];
    LRtpAddress source;
    while (socket_.ReceivePacket(discard, sizeof discard, source) >= 0) {
    }
}

void LRtpEngine::KeepAlive()
{
    if (LTickSince(lastSendTime_.load()) <= kKeepAliveMs || !remote_.IsValid())
        return;
    static const unsigned char zeros[4] = {0, 0, 0, 0};
    LRtpAddress to = remote_.Load();
    socket_.SendPacket(zeros, sizeof zeros, to);
    lastSendTime_.store(GetTickCount());
}

void LRtpEngine::ThreadFunction()
{
    restartPending_.store(false);
    // 64 packet buffers: too big for a thread stack of ordinary size, so
    // made once per run rather than per packet.
    auto stack = std::make_unique<LRtpReceivePacketStack>(session_.GetSettings());
    LRtpStreamTarget &target = *this;
    auto decoder = std::make_unique<LRtpStreamDecoder>(target);
    LRtpHeader packet;
    uint32_t waitMs = 1000;
    DrainSocket();
    int fds[2] = {socket_.GetHandle(), GetStopSignal().GetHandle()};
    while (!IsToStop()) {
        uint64_t until = LMonotonicMs() + waitMs;
        bool readable = false;
        for (uint64_t now = LMonotonicMs(); now < until && !IsToStop(); now = LMonotonicMs()) {
            int ready =
                LWaitReadable(fds, 2, (uint32_t)std::min<uint64_t>(until - now, kWaitSliceMs));
            if (ready == 0) {
                readable = true;
                break;
            }
        }
        if (IsToStop())
            break;
        if (readable) {
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
