// The recorder client against a test recording server: the packets and their
// order, refusals, an unreachable server, rotation and a slow server.
#include "media/recorder_client.h"
#include "recorder_test_audio.h"
#include "recorder_test_server.h"
#include "rtp_test_support.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>

namespace
{

LTallyClientTimeouts Short()
{
    LTallyClientTimeouts t;
    // The answer comes from the test server's thread, which a busy machine
    // may run late: short enough for the silent server's case, not tight.
    t.connectMs = 2000, t.sendMs = 300, t.responseMs = 2000;
    return t;
}

// What the client must send of samples: the frames a fresh encoder makes.
std::string Coded(const std::vector<int> &samples)
{
    LGSMEncoder encoder;
    return GsmFrames(encoder, samples);
}

uint16_t ClosedPort()
{
    UdpPeer reserve; // a port number nobody listens on over TCP, most likely
    return reserve.Port();
}

TEST(RecorderClient, SendsLogOnFileNameAndWholeGsmFrames)
{
    LogCatcher log;
    RecordingServer server;
    std::vector<int> audio = Tone(1000, 440, 8000);
    {
        LSoundSink sink = LOpenTallyClientRecordSink(server.Entry().c_str(), "secret",
                                                     "2024/call-17.wav", Short());
        for (size_t i = 0; i < audio.size(); i += 100)
            sink.Write(audio.data() + i, 100);
        ASSERT_TRUE(vtest::WaitUntil([&] { return server.FramesSoFar() == 6; }));
    }
    ASSERT_TRUE(server.WaitClosed(1, 3000));
    RecordingReceived r = server.Get(0);
    std::string logon = std::string("\x1b\0secret", 8) + std::string(58, '\0');
    EXPECT_EQ(r.logon, logon);
    EXPECT_EQ(r.fileName, "2024/call-17.wav");
    EXPECT_FALSE(r.badPacket);
    ASSERT_EQ(r.frames.size(), 6u); // the last 40 samples are not a frame
    audio.resize(960);
    EXPECT_EQ(std::accumulate(r.frames.begin(), r.frames.end(), std::string()), Coded(audio));
}

// A refusal, a silent server or none at all ends the recording with its log
// line; audio written afterwards is dropped as finished, not as overflow.
TEST(RecorderClient, RefusalsSilenceAndNoServerEndTheRecordingWithTheirLogLine)
{
    // clang-format off
    const struct { std::string answer; bool answerAtAll, listening; const char *logLine; } cases[] = {
        {std::string("<\x03", 2), true, true, "did not accept your access code"},
        {std::string("x\0", 2), true, true, "response is invalid or corrupt"},
        {std::string("<\x07", 2), true, true, "response is invalid or corrupt"},
        {"", false, true, "did not respond"},
        {"", false, false, "Unable to connect to Tally Recorder @ "},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.logLine);
        LogCatcher log;
        RecordingServer server;
        server.answer = c.answer;
        server.answerAtAll = c.answerAtAll;
        std::string entry =
            c.listening ? server.Entry() : "127.0.0.1:" + std::to_string(ClosedPort());
        // Only a server that never answers waits out the limit: a short one.
        LTallyClientTimeouts t = Short();
        t.responseMs = c.answerAtAll ? t.responseMs : 300;
        auto *client = new LTallyClientSinkBase(entry.c_str(), "x", "f", t);
        LSoundSink sink(client);
        client->Start();
        ASSERT_TRUE(vtest::WaitUntil([&] { return client->IsFinished(); }));
        EXPECT_TRUE(log.Has(c.logLine + (c.listening ? "" : entry)));
        std::vector<int> audio(160, 1);
        sink.Write(audio.data(), 160);
        EXPECT_EQ(client->GetDroppedSamples(), 0u);
        if (c.listening) {
            ASSERT_TRUE(server.WaitClosed(1, 3000));
            EXPECT_TRUE(server.Get(0).fileName.empty());
        }
    }
}

// A call that ends while the server keeps the log-on unanswered: the client
// stops at once, without the "no answer" error, not after the time limit.
TEST(RecorderClient, StopDuringAnUnansweredLogOnEndsAtOnce)
{
    LogCatcher log;
    RecordingServer server;
    server.answerAtAll = false;
    LTallyClientTimeouts t = Short();
    t.responseMs = 60000;
    auto *client = new LTallyClientSinkBase(server.Entry().c_str(), "x", "f", t);
    LSoundSink sink(client);
    client->Start();
    ASSERT_TRUE(vtest::WaitUntil([&] { return server.Connections() == 1; }));
    auto start = std::chrono::steady_clock::now();
    client->StopThreadNow();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(client->IsFinished());
    EXPECT_FALSE(log.Has("did not respond"));
    ASSERT_TRUE(server.WaitClosed(1, 3000));
}

TEST(RecorderClient, ServersAreTakenInTurnAndAnUnreachableOneIsSkipped)
{
    LogCatcher log;
    RecordingServer server;
    std::string list = "127.0.0.1:" + std::to_string(ClosedPort()) + ", " + server.Entry();
    TallyServerRotation = 0;
    uint32_t expectedNext[] = {1, 0, 1};
    for (int i = 0; i < 3; ++i) {
        {
            LSoundSink sink = LOpenTallyClientRecordSink(list.c_str(), "", "f", Short());
            ASSERT_TRUE(vtest::WaitUntil([&] { return server.Connections() == (size_t)i + 1; }));
        }
        ASSERT_TRUE(server.WaitClosed((size_t)i + 1, 3000));
        EXPECT_EQ(TallyServerRotation.load(), expectedNext[i]);
    }
    EXPECT_TRUE(log.Has("Unable to connect to Tally Recorder @ " + list));
}

TEST(RecorderClient, SlowServerLosesTheOverflowNotTheQueuedAudio)
{
    LogCatcher log;
    RecordingServer server;
    server.answerDelayMs = 500;                      // the writes below take far less
    std::vector<int> audio = Tone(80000, 300, 8000); // 10 s, the bucket holds 8
    auto *client = new LTallyClientSinkBase(server.Entry().c_str(), "", "f", Short());
    {
        LSoundSink sink(client);
        client->Start();
        for (size_t i = 0; i < audio.size(); i += 160)
            sink.Write(audio.data() + i, 160);
        EXPECT_EQ(client->GetDroppedSamples(), 16000u);
        ASSERT_TRUE(vtest::WaitUntil([&] { return server.FramesSoFar() == 400; }));
    }
    ASSERT_TRUE(server.WaitClosed(1, 3000));
    EXPECT_TRUE(log.Has("too slow"));
    RecordingReceived r = server.Get(0);
    EXPECT_FALSE(r.badPacket);
    audio.resize(64000);
    EXPECT_EQ(std::accumulate(r.frames.begin(), r.frames.end(), std::string()), Coded(audio));
}

} // namespace
