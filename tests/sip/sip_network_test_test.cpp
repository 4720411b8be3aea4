// The network test's steps against a fake dialog: what it shows, what it
// writes, and how a STUN server on loopback (answering a change request
// from its other address, or not) decides between STUN, UPnP and manual.
#include "fake_stun_server.h"
#include "sip/sip_network_test.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace
{
class FakeProcess : public LSipTestProcess
{
  public:
    bool IsToStop() override { return false; }
    void SetStatus(int line, const char *text) override
    {
        if (line == 2)
            lines += std::string(text) + "\n";
    }
    void SetProgress(double) override {}
    void ShowInfo(const char *title, const char *) override { boxes += std::string(title) + ";"; }
    void ShowError(const char *) override { boxes += "error;"; }
    void Confirm(const char *title, const char *) override { boxes += std::string(title) + ";"; }
    Answer AskYesNoCancel(const char *title, const char *) override
    {
        boxes += std::string(title) + ";";
        return Answer::No;
    }
    std::string lines, boxes;
};

class FakeTester : public LSipTester
{
  public:
    bool IsEngineRunning() override { return running; }
    void StopEngine() override { running = false, stops++; }
    void StartEngine() override { running = true, starts++; }
    bool GetBool(const char *key, bool def) override
    {
        return values.count(key) ? values[key] == "1" : def;
    }
    int GetInt(const char *key, int def) override
    {
        return values.count(key) ? std::stoi(values[key]) : def;
    }
    std::string GetString(const char *key) override { return values[key]; }
    void SetBool(const char *key, bool value) override { Write(key, value ? "1" : "0"); }
    void SetInt(const char *key, int value) override { Write(key, std::to_string(value)); }
    void SetString(const char *key, const char *value) override { Write(key, value); }
    std::string GetLocalIP() override { return localIP; }
    LStunState &GetStunState() override { return stun; }
    LSipNatPortMapper *GetPortMapper() override { return mapper; }
    void Write(const std::string &key, const std::string &value)
    {
        values[key] = value;
        writes += key + "=" + value + ";";
    }
    std::map<std::string, std::string> values;
    std::string localIP, writes;
    bool running = true;
    int stops = 0, starts = 0;
    LStunState stun;
    LSipNatPortMapper *mapper = nullptr;
};

enum class Server { None, Cone, Symmetric };
} // namespace

TEST(SipNetworkTest, StepsAndSettingsWrites)
{
    // natWrites: the writes after "Port"; shown: the external address the user is shown
    // clang-format off
    const struct { const char *name; bool isStatic; const char *localIP; Server server; bool upnp; LProcessResult result; const char *shown, *natWrites; } cases[] = {
        {"static refused",  true,  "192.168.1.23", Server::None,      false, LProcessFailed,  "", ""},
        {"public address",  false, "203.0.113.9",  Server::None,      false, LProcessSuccess, "External IP is: 203.0.113.9\n", "UPNP=0;STUN=0;Active=0;"},
        {"no servers",      false, "192.168.1.23", Server::None,      false, LProcessSuccess, "", "STUN=0;UPNP=0;Active=1;"},
        {"cone NAT",        false, "192.168.1.23", Server::Cone,      false, LProcessSuccess, "", "STUN=1;Active=0;STUNServer1=S;STUNServer2=;"},
        {"symmetric, UPnP", false, "192.168.1.23", Server::Symmetric, true,  LProcessSuccess, "External IP is: 203.0.113.50\n", "STUN=0;UPNP=1;STUN=0;Active=0;"},
    };
    // clang-format on
    for (const auto &c : cases) {
        std::unique_ptr<vtest::FakeStunServer> server;
        if (c.server != Server::None)
            server = std::make_unique<vtest::FakeStunServer>(vtest::FakeStunServer::Options{
                "198.51.100.1", 40000, false, c.server == Server::Cone});
        FakeProcess process;
        FakeTester tester;
        vtest::FakePortMapper mapper;
        tester.mapper = c.upnp ? &mapper : nullptr;
        tester.localIP = c.localIP;
        tester.values["STATIC"] = c.isStatic ? "1" : "0";
        tester.values["RTPPortBase"] = "47100";
        tester.values["Port"] = "47200";
        std::string name = server ? server->Name() : "";
        tester.values[kSipTestStunListKey] = name;
        EXPECT_EQ(LSipNetworkTest(process, tester).Process(), c.result) << c.name;
        if (c.isStatic) {
            EXPECT_EQ(process.boxes, "error;") << c.name;
            EXPECT_EQ(tester.writes, "") << c.name;
            EXPECT_EQ(tester.stops, 0) << c.name;
            continue;
        }
        EXPECT_NE(process.lines.find(c.shown), std::string::npos) << c.name << process.lines;
        std::string writes = c.natWrites;
        if (size_t s = writes.find("=S;"); s != std::string::npos)
            writes.replace(s + 1, 1, name);
        EXPECT_EQ(tester.writes, "Port=47200;" + writes) << c.name;
        EXPECT_EQ(tester.stops, 1) << c.name;
        EXPECT_EQ(tester.starts, 1) << c.name;
        if (c.upnp) {
            EXPECT_EQ(mapper.asked, 47200 + 23) << c.name;
        }
    }
}

TEST(SipNetworkTest, ServerListTakesCommasAndLines)
{
    auto list = LSipParseServerList("a.example:3478, b.example\nc.example\r\n\n");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], "a.example:3478");
    EXPECT_EQ(list[2], "c.example");
}
