#include "media/recorder_client.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "media/codecs/gsm.h"
#include "media/recorder_net.h"
#include "platform/log.h"

std::atomic<uint32_t> TallyServerRotation{0};

static std::vector<std::string> SplitHostList(const std::string &list)
{
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = std::min(list.find(',', start), list.size());
        std::string entry = list.substr(start, comma - start);
        entry.erase(0, entry.find_first_not_of(" \t"));
        entry.erase(entry.find_last_not_of(" \t") + 1);
        if (!entry.empty())
            entries.push_back(entry);
        start = comma + 1;
    }
    return entries;
}

LTallyClientSinkBase::LTallyClientSinkBase(const char *hostList, const char *accessCode,
                                           const char *fileName,
                                           const LTallyClientTimeouts &timeouts)
    : LSoundSinkBase(8000, 1), hostList_(hostList), accessCode_(accessCode), fileName_(fileName),
      timeouts_(timeouts), bucket_(kBucketBytes)
{
}

LTallyClientSinkBase::~LTallyClientSinkBase()
{
    StopThreadNow();
}

void LTallyClientSinkBase::Write(const int *samples, int count)
{
    if (finished_.load())
        return;
    // A slow or late server must not corrupt what is queued: whole samples
    // that do not fit are dropped, newest first.
    int room = bucket_.GetFree() / (int)sizeof(int);
    int taken = std::min(count, room);
    if (taken < count && dropped_.fetch_add((uint64_t)(count - taken)) == 0)
        LOGWARN("Tally Recorder is too slow: audio dropped");
    if (taken > 0)
        bucket_.Write(samples, taken * (int)sizeof(int));
}

int LTallyClientSinkBase::ConnectToAServer()
{
    std::vector<std::string> entries = SplitHostList(hostList_);
    if (entries.empty())
        return -1;
    uint32_t count = (uint32_t)entries.size();
    // A list shorter than the last one's may leave the counter beyond it.
    uint32_t start = TallyServerRotation.load() % count;
    TallyServerRotation.store((start + 1) % count);
    for (uint32_t i = 0; i < count; ++i) {
        LProcessResult result;
        int fd = LRecorderConnect(*this, entries[(start + i) % count], kDefaultPort,
                                  timeouts_.connectMs, result);
        if (fd >= 0 || result == LProcessStopped)
            return fd;
        LOGERRORTEXT("Unable to connect to Tally Recorder @ ", hostList_.c_str());
    }
    return -1;
}

bool LTallyClientSinkBase::LogOn(int fd)
{
    unsigned char logon[66] = {27, 0};
    memcpy(logon + 2, accessCode_.data(), std::min<size_t>(accessCode_.size(), 63));
    // Each step of the log-on also ends on a stop request: a call that ends
    // or a service that stops does not wait out the server's time limits.
    if (!LRecorderSendAll(fd, logon, sizeof logon, timeouts_.sendMs, this)) {
        if (!IsToStop())
            LOGERROR("Connection with Tally broken");
        return false;
    }
    unsigned char answer[2];
    if (!LRecorderReceiveAll(fd, answer, 2, timeouts_.responseMs, this)) {
        if (!IsToStop())
            LOGERROR("Tally did not respond");
        return false;
    }
    if (answer[0] == '<' && answer[1] == 3) {
        LOGERROR("Tally Recorder did not accept your access code.");
        return false;
    }
    if (answer[0] != '<' || answer[1] != 0) {
        LOGERROR("Tally response is invalid or corrupt");
        return false;
    }
    unsigned char name[257];
    size_t length = std::min<size_t>(fileName_.size(), 255);
    name[0] = 255;
    name[1] = (unsigned char)length;
    memcpy(name + 2, fileName_.data(), length);
    if (!LRecorderSendAll(fd, name, (int)length + 2, timeouts_.sendMs, this)) {
        if (!IsToStop())
            LOGERROR("Connection with Tally broken");
        return false;
    }
    return true;
}

bool LTallyClientSinkBase::SendAudio(int fd)
{
    LGSMEncoder encoder;
    LSignalObject &written = bucket_.GetWrittenSignal();
    for (;;) {
        written.Reset();
        int samples[kFrameSamples];
        while (bucket_.GetUsed() >= (int)sizeof samples) {
            bucket_.Read(samples, sizeof samples);
            unsigned char packet[35] = {128, 33};
            encoder.EncodeNormal(samples, packet + 2);
            if (!LRecorderSendAll(fd, packet, sizeof packet, timeouts_.sendMs)) {
                LOGERROR("Connection with Tally broken");
                return false;
            }
        }
        // Looked at only after the queue is sent: the last complete frames
        // of a call belong to its recording.
        if (IsToStop())
            return true;
        ProcessWaitSignal(written, timeouts_.idleMs);
    }
}

void LTallyClientSinkBase::ThreadFunction()
{
    int fd = ConnectToAServer();
    if (fd >= 0) {
        if (LogOn(fd))
            SendAudio(fd);
        close(fd);
    }
    finished_.store(true);
}

LSoundSink LOpenTallyClientRecordSink(const char *hostList, const char *accessCode,
                                      const char *fileName, const LTallyClientTimeouts &timeouts)
{
    auto *client = new LTallyClientSinkBase(hostList, accessCode, fileName, timeouts);
    LSoundSink sink(client);
    client->Start(LThread::StartNormal);
    return sink;
}
