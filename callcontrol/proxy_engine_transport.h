// The stateless proxy's transport over a running SIP engine.
#pragma once

#include "callcontrol/stateless_proxy.h"

class LSipEngine;

class LPBXEngineProxyTransport : public LPBXProxyTransport
{
  public:
    explicit LPBXEngineProxyTransport(LSipEngine &engine) : m_Engine(engine) {}

    void SendPacketUDP(const LIPAddressWithPort &to, const std::string &text) override;
    void Respond(const LSipMessage &request, int status, const char *reason,
                 const char *extraHeaders) override;
    void GetPublicAddress(char *host, size_t capacity, int &port) override;
    void GetPrivateAddress(char *host, size_t capacity, int &port) override;
    void CreateNewBranchID(char *out, size_t capacity) override;
    // The public pair, and any address of this machine at the bound port:
    // the socket listens on every interface.
    bool IsOwnAddress(const LIPAddressWithPort &address) override;

  private:
    LSipEngine &m_Engine;
};
