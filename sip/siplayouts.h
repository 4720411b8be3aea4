// Builders of the messages the exchange composes itself. Header order is
// fixed here so that every sender writes the same layout.
#pragma once

#include "platform/version.h"

#include <string>

class LSipMessage;

constexpr const char *kSipUserAgent = "ORV Tessary Vela " VELA_VERSION;

// "Content-Type/Content-Length, blank line, body" when both type and content
// are given, else "Content-Length: 0" and the blank line.
void LSipComposeBody(std::string &out, const char *contentType, const char *content);

// A response to request: its Via and Record-Route fields in order, To (with
// toTag unless the request's To already has a tag), From, Call-ID, CSeq, then
// the optional Contact, extra header text (with its own line ends) and Allow
// block. Every argument after reason may be null or false.
void LSipComposeResponse(std::string &out, const LSipMessage &request, int status,
                         const char *reason, const char *toTag, const char *contact,
                         const char *contentType, const char *content, bool allow,
                         const char *extraHeaders);

// The first block of a request within a dialog.
struct LSipRequestStart {
    const char *method;
    const char *requestURI;
    const char *localAddress;
    int localPort;
    const char *branch;
    const char *remote; // To name-address
    const char *local;  // From name-address
    const char *callId;
    int sequence;
    int maxForwards = 20;
};

// Writes a dialog request in the order its maker calls the Add functions;
// Finish closes it with the body.
class LSipRequestComposer
{
  public:
    LSipRequestComposer(std::string &out, const LSipRequestStart &start);
    void AddRoute(const char *route);
    void AddContact(const char *user, const char *address, int port);
    void AddAuthorization(const char *credentials, bool proxy);
    void AddAllow();
    void AddAccept();
    void AddReplaces(const char *replaces);
    void AddAnswerMode();
    void AddReferTo(const char *target);
    void AddReferredBy(const char *uri);
    void AddEventRefer();
    void Finish(const char *contentType, const char *content);

  private:
    std::string &m_Out;
};

// The REGISTER of an external line with its provider.
struct LSipRegisterParts {
    const char *domain; // Request-URI host part: "sip:%s"
    const char *localAddress;
    int localPort;
    const char *branch;
    const char *to;
    const char *from;
    const char *fromTag;
    const char *callId;
    int sequence;
    const char *contactUser;
    const char *contactAddress;
    int contactPort;
    int expires;
    int quality;                         // q=0.NN
    const char *authorization = nullptr; // credentials, or null
    bool proxyAuthorization = false;
};

void LSipComposeRegister(std::string &out, const LSipRegisterParts &parts);
