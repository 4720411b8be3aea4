// A request of one dialog, composed and ready to send: where it goes, its
// text, and what a response to it looks like (sequence number and method).
// The makers take the dialog's identity, route set and remote target from
// the call; each takes the next local sequence number and a new branch
// unless said otherwise.
#pragma once

#include "platform/hashtable.h"
#include "platform/ipaddress.h"
#include "sip/siplayouts.h"
#include "sip/siptext.h"

#include <cstdint>
#include <string>

class LSipCall;
class LSipMessage;

class LSipRequest
{
  public:
    LSipRequest() = default;

    // "INVITE" with Contact, Allow/Supported, an optional "Replaces" and SDP.
    // "Answer-Mode"/"Priv-Answer-Mode" of message are copied only when the
    // call was placed by an authenticated extension: an outside caller must
    // not make phones answer by themselves. Clears stored credentials.
    bool CreateNewInviteRequest(LSipCall &call, const char *sdp, const char *replaces,
                                int maxForwards, const LSipMessage *message, bool autoAnswer);
    bool CreateByeRequest(LSipCall &call);
    // With a body when contentType and content are both given (a phone's
    // DTMF digit passed on to the other leg), else without.
    bool CreateInfoRequest(LSipCall &call, const char *contentType = nullptr,
                           const char *content = nullptr);
    bool CreateOptionsRequest(LSipCall &call);
    bool CreateReferRequest(LSipCall &call, const char *target);
    bool CreateNotifyReferRequest(LSipCall &call, int status, const char *reason);
    // Sequence number, branch and credentials of invite.
    bool CreateCancelRequest(LSipCall &call, const LSipRequest &invite);
    // Sequence number and credentials of invite; a new branch for a 2xx
    // (RFC 3261 section 13.2.2.4), the INVITE's branch otherwise.
    bool CreateAckRequest(LSipCall &call, const LSipRequest &invite, const LSipMessage &response,
                          const char *sdp);
    // The ACK of a 2xx to an INVITE of the dialog that is no longer at
    // hand: its sequence number from the response, no credentials.
    bool CreateAckRequest(LSipCall &call, const LSipMessage &response);

    // Rebuilds with a new sequence number and branch, keeping credentials.
    bool RebuildInvite(LSipCall &call, const char *sdp, const char *replaces, int maxForwards,
                       const LSipMessage *message, bool autoAnswer);
    bool RebuildBye(LSipCall &call);

    // Digest answer to the 401 or 407 in response, stored for the next
    // build. False when the call has no password, the challenge cannot be
    // read, or the same credentials were refused.
    bool SetAuthentication(LSipCall &call, const LSipMessage &response);

    // A response whose "CSeq" is this request's number and method.
    bool IsResponseTo(const LSipMessage &response) const;

    const LIPAddressWithPort &GetDestination() const { return m_Destination; }
    bool HasDestination() const { return m_DestinationValid; }
    const std::string &GetText() const { return m_Text; }
    const char *GetRequestURI() const { return m_RequestURI; }
    const char *GetMethod() const { return m_Method; }
    uint32_t GetSequence() const { return m_Sequence; }
    const char *GetBranch() const { return m_Branch; }
    const char *GetAuthorization() const { return m_Authorization.c_str(); }
    bool IsProxyAuthorization() const { return m_ProxyAuthorization; }

    // The common part of every maker: route set, destination, local
    // address, start line and the fields every request carries.
    LSipRequestComposer _CreateRequest(LSipCall &call, const char *method, const char *to,
                                       bool contact, int maxForwards);

  private:
    bool BuildInvite(LSipCall &call, const char *sdp, const char *replaces, int maxForwards,
                     const LSipMessage *message, bool autoAnswer);
    bool BuildBye(LSipCall &call);
    bool BuildSimple(LSipCall &call, const char *method);
    void NewSequenceAndBranch(LSipCall &call);

    LIPAddressWithPort m_Destination;
    bool m_DestinationValid = false;
    std::string m_Text;
    char m_RequestURI[kSipLongText] = {0};
    const char *m_Method = "";
    uint32_t m_Sequence = 0;
    char m_Branch[kSipLongText] = {0};
    std::string m_Authorization;
    bool m_ProxyAuthorization = false;
    char m_LocalIP[kSipLongText] = {0};
    int m_LocalPort = 0;
};

// Fills parameters from a challenge or credentials header, "Digest
// name=value, name="value", ..." (RFC 2617 section 3.2): scheme in any case,
// names lower-cased, quotes and quoted-pairs undone. False when the scheme
// is not Digest.
bool LSipAuthenticationDecodeDigest(const char *value, LHashTable &parameters);
// Whether decoded challenge parameters say "stale=true" (any case).
bool LSipDigestIsStale(const LHashTable &parameters);
// Decodes the challenge of a 401 (WWW-Authenticate) or 407
// (Proxy-Authenticate) that an MD5 digest can answer: the first that names
// MD5 or no algorithm. A server that offers several algorithms sends one
// field each, the one it prefers first (RFC 8760 section 2.4), so SHA-256 may
// come before MD5. False when there is none; parameters then hold the first
// challenge, for the log.
bool LSipDecodeDigestChallenge(const LSipMessage &response, LHashTable &parameters);
// The credentials header value answering a decoded challenge (MD5, no
// qop), its quoted values escaped.
std::string LSipDigestAnswer(const LHashTable &challenge, const char *authID, const char *password,
                             const char *method, const char *uri);
// RFC 2617 digest without qop: MD5(MD5(id:realm:password):nonce:MD5(method:uri)).
void LSipCreateAuthenticationResponse(const char *authID, const char *realm, const char *password,
                                      const char *method, const char *uri, const char *nonce,
                                      char out[33]);
