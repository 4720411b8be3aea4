// What the SIP engine hands outwards. The engine sits below call control, so
// call control registers its handlers here instead of the engine calling up;
// every handler receives the message as LPtr and may keep it.
#pragma once

#include "platform/ipaddress.h"
#include "platform/ptr.h"
#include "sip/sipmessage.h"

// New requests outside any dialog: OPTIONS, REGISTER and INVITE without
// "Replaces". Runs on the engine's receive thread with no engine lock held,
// so long work belongs on other threads.
class LSipNewMessageHandler
{
  public:
    virtual ~LSipNewMessageHandler() = default;
    virtual void HandleNewInvite(LPtr<LSipMessage> &message) = 0;
    virtual void HandleNewOptions(LPtr<LSipMessage> &message) = 0;
    virtual void HandleNewRegister(LPtr<LSipMessage> &message) = 0;
    // The advertised address or port changed, or a status report was asked.
    virtual void LogAddress() {}
};

// Requests and responses that belong to no dialog and no line registration:
// the stateless proxy forwards them.
class LSipSubscribeHandler
{
  public:
    virtual ~LSipSubscribeHandler() = default;
    virtual void HandleSubscribe(LPtr<LSipMessage> &message) = 0;
    virtual void HandleNotify(LPtr<LSipMessage> &message) = 0;
    virtual void HandleResponse(LPtr<LSipMessage> &message) = 0;
};

// A live dialog as the engine's dispatch sees it. Each takes a message that
// belongs to it (Call-ID and local tag) into its own queue; a dialog never
// takes a message of another Call-ID.
class LSipDialogTaker
{
  public:
    virtual ~LSipDialogTaker() = default;
    // The engine indexes dialogs by it, so it must not change while the
    // dialog is registered.
    virtual const char *GetDialogCallID() const = 0;
    virtual bool HandleNewMessage(LPtr<LSipMessage> &message) = 0;
    // An INVITE whose "Replaces" names callId (taken when it is this dialog's).
    virtual bool HandleInviteReplaces(LPtr<LSipMessage> &message, const char *callId) = 0;
};

// Settings the engine reads. The settings layer sits beside the SIP stack,
// so the service installs its readers; without them every default holds.
struct LSipEngineSettings {
    int (*getInt)(const char *section, const char *key, int def) = nullptr;
    bool (*getBool)(const char *section, const char *key, bool def) = nullptr;
    // out holds at least 260 characters.
    const char *(*getString)(const char *section, const char *key, const char *def,
                             char *out) = nullptr;
    bool (*setBool)(const char *section, const char *key, bool value) = nullptr;
    // The SIP trace: every datagram sent or received, when installed.
    void (*trace)(bool sent, const LIPAddressWithPort &peer, const char *bytes,
                  size_t length) = nullptr;
};
