// The exchange side of the network test outside the service: the "SIP"
// settings, this machine's LAN address and a UPnP client. The command line
// has no engine to stop (the service's runs in another process); the desktop
// window overrides the engine calls to switch the service's SIP engine.
#pragma once

#include "sip/sip_network_test.h"
#include "sip/upnp.h"

class LSettingsSipTester : public LSipTester
{
  public:
    bool IsEngineRunning() override { return false; }
    void StopEngine() override {}
    void StartEngine() override {}
    bool GetBool(const char *key, bool def) override;
    int GetInt(const char *key, int def) override;
    std::string GetString(const char *key) override;
    void SetBool(const char *key, bool value) override;
    void SetInt(const char *key, int value) override;
    void SetString(const char *key, const char *value) override;
    std::string GetLocalIP() override;
    LStunState &GetStunState() override { return m_Stun; }
    LSipNatPortMapper *GetPortMapper() override { return &m_Upnp; }

  private:
    LStunState m_Stun;
    LProcessInterfaceVoid m_Process;
    LUpnpPortMapper m_Upnp{LStopTestOf<LProcessInterfaceVoid>, &m_Process};
};
