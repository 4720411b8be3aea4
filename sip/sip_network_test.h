// The network test run once from the setup wizard or the command line: it
// probes the firewall, STUN and UPnP from this machine and writes the NAT
// settings the run-time resolution then follows.
#pragma once

#include "platform/clock.h"
#include "platform/types.h"
#include "sip/sip_nat.h"

#include <string>
#include <vector>

// What the test shows and asks: a progress dialog on the desktop, plain
// lines on the command line.
class LSipTestProcess
{
  public:
    enum class Answer { Yes, No, Cancel };
    virtual ~LSipTestProcess() = default;
    virtual bool IsToStop() = 0;
    virtual void SetStatus(int line, const char *text) = 0; // line 1 or 2
    virtual void SetProgress(double fraction) = 0;
    virtual void ShowInfo(const char *title, const char *text) = 0;
    virtual void ShowError(const char *text) = 0;
    virtual void Confirm(const char *title, const char *text) = 0;
    virtual Answer AskYesNoCancel(const char *title, const char *text) = 0;
};

// The exchange side of the test: its SIP engine, its "SIP" settings and the
// machine's LAN address.
class LSipTester
{
  public:
    virtual ~LSipTester() = default;
    virtual bool IsEngineRunning() = 0;
    virtual void StopEngine() = 0;
    virtual void StartEngine() = 0;
    virtual bool GetBool(const char *key, bool def) = 0;
    virtual int GetInt(const char *key, int def) = 0;
    virtual std::string GetString(const char *key) = 0;
    virtual void SetBool(const char *key, bool value) = 0;
    virtual void SetInt(const char *key, int value) = 0;
    virtual void SetString(const char *key, const char *value) = 0;
    virtual std::string GetLocalIP() = 0;
    virtual LStunState &GetStunState() = 0;
    virtual LSipNatPortMapper *GetPortMapper() { return nullptr; } // null: no UPnP client
};

// The setting that lists the STUN servers the test asks (one per line or
// comma-separated); empty by default, since no public host is assumed.
constexpr const char *kSipTestStunListKey = "NetworkTestSTUNServers";
std::vector<std::string> LSipParseServerList(const std::string &text);

class LSipNetworkTest
{
  public:
    LSipNetworkTest(LSipTestProcess &process, LSipTester &tester);
    LProcessResult Process();

    LProcessResult ProcessSipTestSTUN(int socket);
    LProcessResult ProcessSTUNTestWithChangedAddress(int socket, const std::string &server);
    LProcessResult ProcessSipTestUpnp(const std::string &localIP);
    // socket < 0: bind port first (a port another program holds passes).
    LProcessResult ProcessSipTestFirewall(int port, int socket);

  private:
    void Log(const char *text);
    bool OpenFirewallPorts(bool &stopped);
    int BindSipPort(int &port);
    void TestBehindNat(int socket, const std::string &localIP);

    LSipTestProcess &m_Process;
    LSipTester &m_Tester;
    std::vector<std::string> m_Servers;
    // It measures the servers' answers as they come: always the machine's
    // time.
    LSystemClock m_Clock;
};
