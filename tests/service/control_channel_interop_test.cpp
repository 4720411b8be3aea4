// The control channel of the real service, driven by a hand-written window
// (one that never reads is control_channel_test's).
#include "../sip/sip_engine_fixture.h"
#include "control_client.h"
#include "support/sip_retransmit.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vtest;

namespace
{
class ControlWire : public SipEngineWire
{
  protected:
    void SetUp() override
    {
        SipEngineWire::SetUp();
        path = vela.SharedDataFolder() + "/.spipe.velad";
    }
    bool Answered(const std::string &callId, int ms)
    {
        return AnsweredWithin(peer, sipPort, SipRequest("OPTIONS", callId, peer.Port()), callId,
                              ms);
    }
    std::string path;
};
} // namespace

// The socket is open to the service's group only, and a hostile header
// closes its own connection and reaches nothing else. Then a web server
// restart is carried out without a reply (the service's own log lines come
// back over the channel; none is a reply), and the SIP engine is stopped on
// request (its start code is service_test's).
TEST_F(ControlWire, HostileHeadersAndControlRequests)
{
    struct stat info {
    };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0660u);
    EXPECT_EQ(info.st_gid, getegid());
    struct Case {
        const char *what;
        uint16_t magic;
        int64_t size;
    };
    // clang-format off
    const Case cases[] = {
        {"wrong magic", 0x4321, 0},
        {"4 GiB payload", LControl::kMagic, 0xFFFFFFFFll},
        {"1 MiB + 1 payload", LControl::kMagic, 1024 * 1024 + 1},
    };
    // clang-format on
    for (const Case &c : cases) {
        ControlClient window;
        ASSERT_TRUE(window.Connect(path));
        ASSERT_TRUE(
            window.Send(LControl::TypeControlWithResult, 0x1000001, 1, "", c.magic, c.size));
        EXPECT_TRUE(window.WaitClosed(3000)) << c.what;
    }
    ASSERT_TRUE(Answered("before", 3000)) << "a hostile header reached the engine";

    ControlClient window;
    ASSERT_TRUE(window.Connect(path));
    ASSERT_TRUE(window.Send(LControl::TypeControl, 2, 5));
    LControl::Header header;
    std::string payload;
    bool restarted = false;
    while (!restarted && window.Read(header, payload, 5000)) {
        EXPECT_NE(header.type, LControl::TypeReply);
        if (header.type == LControl::TypeLogLine)
            restarted |= LControl::DecodeLogLine(payload.data(), header.size, header.extra).text2 ==
                         "Restarting web server";
    }
    EXPECT_TRUE(restarted) << vela.Process().Output();

    // A size flagged as having no payload: the next header follows at once.
    // Requests are answered in order, so a reply to either control request
    // would come before the one carrying 41.
    ASSERT_TRUE(window.Send(LControl::TypeControl | LControl::kNoPayloadFlag, 0, 40, "",
                            LControl::kMagic, 10));
    ASSERT_TRUE(window.Send(LControl::TypeControlWithResult, 0x1000001, 41));
    ASSERT_TRUE(window.ReadReply(header, 5000));
    EXPECT_EQ(header.extra, 41u);
    EXPECT_FALSE(Answered("stopped", 1000));
}
