// A parsed SIP URI (RFC 3261 section 19.1): scheme, user, password, host,
// port, ';' parameters and '?' headers. Lenient: any text parses, over-long
// parts are cut at 259 characters.
#pragma once

#include "sip/sipparameters.h"
#include "sip/siptext.h"

#include <cstdint>
#include <string>

constexpr uint16_t kSipDefaultPort = 5060;

class LSipURI
{
  public:
    LSipURI() = default;
    explicit LSipURI(const char *text) { _SetURI(text); }
    void _SetURI(const char *text);

    void Reconstruct(std::string &out) const;
    void ReconstructWithoutParameters(std::string &out) const;

    const char *GetScheme() const { return m_Scheme; }
    const char *GetUser() const { return m_User; }
    void SetUser(const char *user) { LSipCopy(m_User, user); }
    const char *GetPassword() const { return m_Password; }
    const char *GetHost() const { return m_Host; }
    void SetHost(const char *host) { LSipCopy(m_Host, host); }
    uint16_t GetPort() const { return m_Port; }
    bool IsPortSpecified() const { return m_PortSpecified; }
    // 5060 is the default and therefore not written out.
    void SetPort(uint16_t port);

    bool TestParameterExists(const char *name) const { return m_Parameters.TestExists(name); }
    const LHashTable &GetParameters() const { return m_Parameters; }
    LHashTable &GetParameters() { return m_Parameters; }
    const LHashTable &GetHeaders() const { return m_Headers; }

  private:
    void SplitUserPart(char *text);
    void SplitHostPart(char *text);

    char m_Scheme[kSipLongText] = "sip";
    char m_User[kSipLongText] = {0};
    char m_Password[kSipLongText] = {0};
    char m_Host[kSipLongText] = {0};
    bool m_PortSpecified = false;
    uint16_t m_Port = kSipDefaultPort;
    LHashTable m_Parameters;
    LHashTable m_Headers;
};
