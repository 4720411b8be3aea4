#include "logs/sip_trace.h"

#include "config/pbx_global_settings.h"
#include "logs/program_log.h"
#include "media/rtp_relay_trace.h"
#include "platform/tick.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace
{
// The file state is shared by the SIP receive thread and every RTP thread;
// one lock keeps an entry's prefix and text together and the descriptor
// from being closed under a writer.
std::mutex gLock;
std::atomic<bool> gOn{false};
std::atomic<bool> gRtpOn{false};
int gFd = -1;
int gFileDay = 0;
long gPrefixSecond = -1;
char gPrefix[16];

void CloseLocked()
{
    if (gFd >= 0)
        close(gFd);
    gFd = -1;
}

void WriteLocked(const char *data, size_t length)
{
    while (gFd >= 0 && length > 0) {
        ssize_t n = write(gFd, data, length);
        if (n <= 0)
            return;
        data += n;
        length -= static_cast<size_t>(n);
    }
}

// Recomputes the prefix once per second and opens the day's file.
void PrepareLocked()
{
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    if (now != gPrefixSecond) {
        std::snprintf(gPrefix, sizeof gPrefix, "%.2d:%.2d:%.2d ", local.tm_hour, local.tm_min,
                      local.tm_sec);
        gPrefixSecond = now;
    }
    if (gFd >= 0 && local.tm_mday != gFileDay)
        CloseLocked();
    if (gFd >= 0)
        return;
    char name[64], path[kLogPathMax + 1];
    LSipTraceFileName(name, sizeof name, now);
    std::snprintf(path, sizeof path, "%s/%s", LLog::GetLogFolder(), name);
    gFd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    if (gFd >= 0)
        flock(gFd, LOCK_SH | LOCK_NB); // readers may look; nothing waits on it
    gFileDay = local.tm_mday;
}
} // namespace

void LSipTraceFileName(char *out, size_t size, long t)
{
    time_t when = t;
    tm local{};
    localtime_r(&when, &local);
    std::snprintf(out, size, "20%.2d-%.2d-%.2d Vela SipTrace.txt", local.tm_year % 100,
                  local.tm_mon + 1, local.tm_mday);
}

void LSipTraceWrite(const char *text)
{
    if (!gOn.load())
        return;
    std::lock_guard<std::mutex> hold(gLock);
    PrepareLocked();
    WriteLocked(gPrefix, std::strlen(gPrefix));
    WriteLocked(text, std::strlen(text));
}

void LSipTraceWriteRawText(const char *bytes, size_t length)
{
    if (!gOn.load())
        return;
    std::lock_guard<std::mutex> hold(gLock);
    PrepareLocked();
    WriteLocked(bytes, length);
}

bool LSipTraceIsOn()
{
    return gOn.load();
}

bool LSipTraceIsRtpOn()
{
    return gRtpOn.load();
}

void LSipTraceSetOn(bool on)
{
    {
        std::lock_guard<std::mutex> hold(gLock);
        gOn.store(on);
        // Closing also when switched on again makes the next entry start the
        // day's file afresh.
        CloseLocked();
    }
    LRtpTraceSetEnabled(on && gRtpOn.load());
    LPBXSettings::SipTraceOn.Set(on);
}

void LSipTraceSetRtpOn(bool on)
{
    gRtpOn.store(on);
    LRtpTraceSetEnabled(on && gOn.load());
    LPBXSettings::SipTraceAudioOn.Set(on);
}

void LSipTraceStart()
{
    gOn.store(LPBXSettings::SipTraceOn.Get());
    gRtpOn.store(LPBXSettings::SipTraceAudioOn.Get());
    LRtpTraceSetEnabled(gOn.load() && gRtpOn.load());
}

void LSipTraceClose()
{
    std::lock_guard<std::mutex> hold(gLock);
    CloseLocked();
}

void LSipTraceUdpPacket(bool sent, const char *address, const char *bytes, size_t length)
{
    if (!gOn.load())
        return;
    char head[160];
    if (sent)
        std::snprintf(head, sizeof head,
                      "UDP Packet Sent to %s >>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>\r\n", address);
    else
        std::snprintf(head, sizeof head,
                      "UDP Packet Received from %s <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\r\n",
                      address);
    static const char kSeparator[] =
        "\r\n----------------------------------------------------------------\r\n\r\n";
    // One lock for the whole entry keeps packets of two threads apart.
    std::lock_guard<std::mutex> hold(gLock);
    PrepareLocked();
    WriteLocked(gPrefix, std::strlen(gPrefix));
    WriteLocked(head, std::strlen(head));
    WriteLocked(bytes, length);
    WriteLocked(kSeparator, sizeof kSeparator - 1);
}

void LSipTraceRtp(const LSipTraceRtpPacket &p)
{
    if (!gOn.load() || !gRtpOn.load())
        return;
    char line[200];
    std::snprintf(line, sizeof line, "%dms Rtp %s %s %s %d seq=%d ts=%d ssrc=%d %d bytes\r\n",
                  static_cast<int>(GetTickCount() % 10000), p.sent ? ">>>" : "<<<", p.address,
                  p.marker ? "Mark" : "    ", p.payload_type, p.sequence,
                  static_cast<int>(p.timestamp), static_cast<int>(p.ssrc), p.size);
    LSipTraceWrite(line);
}

void LSipTraceRtpRelay(const char *from, const char *to, int bytes)
{
    if (!gOn.load() || !gRtpOn.load())
        return;
    char line[160];
    std::snprintf(line, sizeof line, "Rtp Relay %s >>> %s (%d bytes)\r\n", from, to, bytes);
    LSipTraceWrite(line);
}
