// Fake relay and host for the mediation tests: they record what the
// mediator asked of them.
#pragma once

#include "media/rtp_relay_connection.h"
#include "media/rtp_relay_loop.h"
#include "media/sdp_relay.h"
#include "media/sdp_relay_releaser.h"
#include "media/sdp_settings.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Only dotted addresses resolve: a test never waits on DNS.
struct NoNameLookups : LSDPHostResolver {
    bool ResolveHostName(const std::string &, uint32_t &) override { return false; }
};

// "Quality" and "Active" as a test sets them; relay ports keep their private
// address unless the test resolves them itself; traced lines are kept.
struct FixedSdpSettings : LSDPSettings {
    int quality = 50;
    bool active = false;
    LRtpPublicAddressResolver publicAddress = LRtpDefaultPublicAddress;
    NoNameLookups names;
    LSDPHostResolver &GetHostResolver() override { return names; }
    void ResolvePublicAddress(LRtpPublicAddressQuery &query) override { publicAddress(query); }
    void WriteRtpTrace(const char *line) override
    {
        std::lock_guard<std::mutex> hold(traceLock);
        trace.push_back(line);
    }
    std::vector<std::string> Trace()
    {
        std::lock_guard<std::mutex> hold(traceLock);
        return trace;
    }
    LRtpHeldPorts &GetHeldPorts() override { return held; }
    LRtpRelayLoop &GetRelayLoop() override { return relayLoop; }
    LSDPRelayReleaser &GetRelayReleaser() override { return releaser; }
    int GetQuality() override { return quality; }
    bool GetActive() override { return active; }

    // The relays' quiet times and release delays run on it.
    LManualClock clock;

  private:
    LRtpHeldPorts held;
    LRtpRelayLoop relayLoop{clock};
    LSDPRelayReleaser releaser{clock};
    std::mutex traceLock;
    std::vector<std::string> trace;
};

struct FakeConnection : LSDPRelayConnection {
    std::string privateIP, publicIP;
    uint16_t privatePort = 0, publicPort = 0;
    LSDPMediaDestination destination;
    bool latch = false, connected = false, privatePortHandedOut = false;
    int resolves = 0;

    void ConnectTo(const LSDPMediaDestination &d, bool l) override
    {
        destination = d;
        latch = l;
        connected = true;
    }
    void ResolvePublicIP() override { ++resolves; }
    std::string GetLocalPrivateIP() override { return privateIP; }
    uint16_t GetLocalPrivatePort() override
    {
        privatePortHandedOut = true;
        return privatePort;
    }
    std::string GetLocalPublicIP() override
    {
        ++resolves;
        return publicIP;
    }
    uint16_t GetLocalPublicPort() override
    {
        ++resolves;
        return publicPort;
    }
};

struct RelayLog {
    // The releaser's thread destroys relays.
    std::atomic<int> made = 0, destroyed = 0, started = 0, stopped = 0;
    std::string recorder;
    uint8_t g726 = 0;
};

struct FakeRelay : LSDPRelay {
    FakeConnection a, b;
    RelayLog &log;

    explicit FakeRelay(RelayLog &l, const std::string &relayPublicIP) : log(l)
    {
        a.privateIP = b.privateIP = "192.168.1.2";
        a.publicIP = b.publicIP = relayPublicIP;
        a.privatePort = a.publicPort = 8000;
        b.privatePort = b.publicPort = 8002;
        ++log.made;
    }
    ~FakeRelay() override { ++log.destroyed; }
    LSDPRelayConnection &GetConnectionA() override { return a; }
    LSDPRelayConnection &GetConnectionB() override { return b; }
    void Start(const std::string &recorderFile, uint8_t g726) override
    {
        ++log.started;
        log.recorder = recorderFile;
        log.g726 = g726;
    }
    void Stop() override { ++log.stopped; }
};

struct FakeHost : LSDPMediatorHost {
    std::string publicIP = "203.0.113.5"; // the exchange's and its relay ports'
    bool noPorts = false;
    RelayLog log;
    FakeRelay *last = nullptr;

    std::unique_ptr<LSDPRelay> CreateRelay() override
    {
        if (noPorts)
            return nullptr;
        auto relay = std::make_unique<FakeRelay>(log, publicIP);
        last = relay.get();
        return relay;
    }
    std::string GetPublicIP() override { return publicIP; }
    LSDPSettings &GetSdpSettings() override { return sdp; }
    FixedSdpSettings sdp;
};
