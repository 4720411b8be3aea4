#include "media/merleclient.h"

#include "media/codecs/sampleformats.h"
#include "platform/log.h"
#include "platform/socket.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>

namespace
{
constexpr uint32_t kConnectMs = 10000;
constexpr uint32_t kRequestMs = 5000;
constexpr uint32_t kReplyMs = 10000;
constexpr uint32_t kHeaderMs = 60000;
constexpr uint32_t kPayloadMs = 2000;
constexpr uint32_t kRoomMs = 60000;
constexpr int kPrimeBytes = 1028; // mu-law silence played while the stream starts
constexpr unsigned char kRequest[2] = {0xB1, 0x00};
constexpr int kServiceClass = 0xB8; // expedited forwarding, as for RTP
} // namespace

LMerleClientSource::LMerleClientSource(const char *name) : LSoundSourceBase(kRate, 1, kSoundPeak16)
{
    snprintf(server, sizeof server, "%s", name ? name : "");
}

LMerleClientSource::~LMerleClientSource()
{
    StopThreadNow();
}

LSoundSource LMerleClientSource::OpenSource(const char *server)
{
    auto *client = new LMerleClientSource(server);
    LSoundSource source(client);
    if (!client->Start(StartSame)) {
        client->streaming.store(false);
        LOGERRORTEXT("On-hold client: cannot start for ", server);
    }
    return source;
}

int LMerleClientSource::Read(int *samples, int frames)
{
    unsigned char codes[1024];
    int given = 0;
    while (given < frames) {
        int got = bucket.Read(codes, std::min<int>(frames - given, sizeof codes));
        if (got <= 0)
            break;
        ConvertSamplesIn(samples + given, reinterpret_cast<const LSFULAW *>(codes), got);
        given += got;
    }
    ClearAudioBuffer(samples + given, frames - given, 1);
    return given;
}

void LMerleClientSource::WaitForStreamingData(int ms)
{
    LSignalObject &written = bucket.GetWrittenSignal();
    written.Reset();
    if (bucket.GetUsed() > 0 || !streaming.load())
        return;
    written.WaitSignal((uint32_t)ms);
}

void LMerleClientSource::ThreadFunction()
{
    LTcpSocket socket;
    if (Handshake(socket))
        Stream(socket);
    streaming.store(false);
    bucket.GetWrittenSignal().Signal(); // a reader waiting for data wakes
}

bool LMerleClientSource::Handshake(LTcpSocket &socket)
{
    LIPAddressWithPort address;
    if (!address.SetFromText(server, kDefaultPort)) {
        LOGERRORTEXT("On-hold client: cannot resolve ", server);
        return false;
    }
    unsigned char reply[4];
    if (ProcessConnect(*this, socket, address, kConnectMs) != LProcessSuccess ||
        ProcessSend(*this, socket, kRequest, sizeof kRequest, kRequestMs) != LProcessSuccess ||
        ProcessRecvAll(*this, socket, reply, sizeof reply, kReplyMs) != LProcessSuccess) {
        LOGWARNTEXT("On-hold client: no stream from ", server);
        return false;
    }
    if (reply[0] != 0xFF) {
        LOGWARNTEXT("On-hold client: refused by ", server);
        return false;
    }
    unsigned char silence[kPrimeBytes];
    memset(silence, 0xFF, sizeof silence);
    bucket.Write(silence, sizeof silence);
    LThreadApplyPriority(StartHigh);
    int on = 1, tos = kServiceClass;
    setsockopt(socket.GetHandle(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(socket.GetHandle(), IPPROTO_IP, IP_TOS, &tos, sizeof tos);
    return true;
}

// Frames: one byte not looked at, the payload length (least significant
// byte first, at most 1024), the payload.
void LMerleClientSource::Stream(LTcpSocket &socket)
{
    unsigned char header[3];
    unsigned char payload[kMaxFrame];
    while (!IsToStop()) {
        if (ProcessRecvAll(*this, socket, header, sizeof header, kHeaderMs) != LProcessSuccess)
            return;
        int length = header[1] | header[2] << 8;
        if (length > kMaxFrame) {
            LOGWARNTEXT("On-hold client: frame too long from ", server);
            return;
        }
        if (length > 0 &&
            ProcessRecvAll(*this, socket, payload, length, kPayloadMs) != LProcessSuccess)
            return;
        Append(payload, length);
    }
}

// A full bucket waits for the player; a player that does not read for a
// minute loses the rest of the frame.
void LMerleClientSource::Append(const unsigned char *data, int length)
{
    while (length > 0 && !IsToStop()) {
        int put = bucket.Write(data, length);
        data += put;
        length -= put;
        if (length == 0)
            return;
        LSignalObject &read = bucket.GetReadSignal();
        read.Reset();
        if (bucket.GetFree() > 0)
            continue;
        if (ProcessWaitSignal(read, kRoomMs) != LProcessSuccess || bucket.GetFree() == 0)
            return;
    }
}

void LMerleClientAutoDetect(char *out, int size)
{
    snprintf(out, (size_t)size, "localhost:%d", LMerleClientSource::kDefaultPort);
}

bool LMerleIsServerName(const char *text)
{
    const char *colon = strchr(text, ':');
    size_t hostLength = colon ? (size_t)(colon - text) : strlen(text);
    if (hostLength == 0 || hostLength > 253 || text[0] == '.' || text[0] == '-')
        return false;
    for (size_t i = 0; i < hostLength; i++)
        if (!isalnum((unsigned char)text[i]) && text[i] != '.' && text[i] != '-')
            return false;
    if (!colon)
        return true;
    const char *port = colon + 1;
    size_t digits = strspn(port, "0123456789");
    if (digits == 0 || digits > 5 || port[digits] != 0)
        return false;
    long value = strtol(port, nullptr, 10);
    return value >= 1 && value <= 65535;
}
