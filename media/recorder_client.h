// The recorder client: a sound sink that streams the mixed audio of a call,
// GSM-encoded, to a recording server over TCP.
//
// Protocol (client side): a 66-byte log-on packet (27, 0, the access code
// NUL-padded to 64 bytes); the server answers "<" and 0 (accepted) or 3
// (access code refused); then the file name (255, length, bytes) and one
// 35-byte packet (128, 33, a GSM 06.10 frame) per 20 ms of audio.
#pragma once

#include "media/soundsink.h"
#include "platform/bucket.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <string>

struct LTallyClientTimeouts {
    uint32_t connectMs = 60000;
    uint32_t sendMs = 5000;
    uint32_t responseMs = 5000;
    // Longest wait for audio before looking at the stop flag again.
    uint32_t idleMs = 60000;
};

// Spreads successive recordings over the servers of the host list.
extern std::atomic<uint32_t> TallyServerRotation;

class LTallyClientSinkBase : public LSoundSinkBase, public LThread
{
  public:
    static constexpr int kBucketBytes = 256000; // 8 s of 32-bit samples
    static constexpr int kFrameSamples = 160;
    static constexpr int kDefaultPort = 4080;

    LTallyClientSinkBase(const char *hostList, const char *accessCode, const char *fileName,
                         const LTallyClientTimeouts &timeouts = LTallyClientTimeouts());
    // Sends the complete frames still queued, then closes the connection.
    ~LTallyClientSinkBase() override;

    // Queues what fits; once the connection has ended everything is dropped.
    void Write(const int *samples, int count) override;
    bool IsFinished() const { return finished_.load(); }
    uint64_t GetDroppedSamples() const { return dropped_.load(); }

  protected:
    void ThreadFunction() override;

  private:
    int ConnectToAServer();
    bool LogOn(int fd);
    bool SendAudio(int fd);

    std::string hostList_;
    std::string accessCode_;
    std::string fileName_;
    LTallyClientTimeouts timeouts_;
    LBucket bucket_;
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> dropped_{0};
};

// A sink owning a new client whose thread starts at once.
LSoundSink
LOpenTallyClientRecordSink(const char *hostList, const char *accessCode, const char *fileName,
                           const LTallyClientTimeouts &timeouts = LTallyClientTimeouts());
