// The client of a network on-hold music server: it asks the server for its
// stream and buffers the 8-bit mu-law audio (11025 Hz, mono) that arrives in
// short frames, for a player to read. Once the server goes away or sends
// something it does not understand, it ends and yields silence.
#pragma once

#include "media/soundsource.h"
#include "platform/bucket.h"
#include "platform/thread.h"

#include <atomic>

class LMerleClientSource : public LThread, public LSoundSourceBase
{
  public:
    static constexpr int kDefaultPort = 606;
    static constexpr int kRate = 11025;
    static constexpr int kBucketBytes = 64000;
    static constexpr int kMaxFrame = 1024;

    explicit LMerleClientSource(const char *server);
    ~LMerleClientSource() override;

    // Takes up to frames buffered bytes and decodes them; the rest of the
    // buffer is zeros. Returns the frames that came from the server.
    int Read(int *samples, int frames) override;
    int GetPositionSample() override { return 0; }
    // What is buffered now.
    int GetEndSample() override { return bucket.GetUsed(); }
    // Until the stream ended and everything it gave has been read.
    bool IsStreaming() override { return streaming.load() || bucket.GetUsed() > 0; }
    void WaitForStreamingData(int ms) override;

    // A client for server ("host" or "host:port"), its thread started at
    // the caller's priority.
    static LSoundSource OpenSource(const char *server);

  protected:
    void ThreadFunction() override;

  private:
    bool Handshake(class LTcpSocket &socket);
    void Stream(class LTcpSocket &socket);
    void Append(const unsigned char *data, int length);

    char server[260];
    LBucket bucket{kBucketBytes};
    std::atomic<bool> streaming{true};
};

// The server a new group proposes: a player on this machine.
void LMerleClientAutoDetect(char *out, int size);
// True for "host" or "host:port" with a host of letters, digits, dots and
// dashes and a port from 1 to 65535: nothing that could name a file.
bool LMerleIsServerName(const char *text);
