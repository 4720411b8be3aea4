// A name-address as found in To, From, Contact, Route and Record-Route
// (RFC 3261 section 20.10): display name, URI text (kept unparsed) and the
// field parameters after the closing '>' ("tag", "expires", ...).
#pragma once

#include "sip/sipparameters.h"
#include "sip/siptext.h"

#include <string>

class LSipNameAddr
{
  public:
    LSipNameAddr() = default;
    explicit LSipNameAddr(const char *text);

    const char *GetDisplayName() const { return m_DisplayName; }
    const char *GetSipURI() const { return m_URI; }
    const char *GetHeaderField(const char *name, const char *defaultValue) const
    {
        return m_Parameters.GetParm(name, defaultValue);
    }
    const LHashTable &GetHeaderFields() const { return m_Parameters; }

    // "\"display\" <uri>" or "<uri>"; field parameters are not written.
    void ReconstructWithoutHeaders(std::string &out) const;

    // Completes a dialled target into "<sip:user@host>" form: text already
    // holding '<' is copied unchanged, spaces are removed, "sip:" is added
    // unless the text names a scheme, "@host" unless it names a host.
    static void Expand(const char *text, const char *host, std::string &out);

    // Puts prefix before a non-empty URI user (caller-ID prefixes of lines).
    void PrependCID(const char *prefix);

  private:
    char m_DisplayName[kSipLongText] = {0};
    char m_URI[kSipLongText] = {0};
    LHashTable m_Parameters;
};
