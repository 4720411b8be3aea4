// External lines: accounts at SIP providers or gateways, or devices that
// register to the exchange on a line of their own (empty server).
#pragma once

#include "config/pbx_contact.h"

// Key: the line name (lower case).
class LPBXExternalLine : public LPBXContactList
{
  public:
    const char *GetLineName(char *out) const { return GetPrimaryKey(out); }
    bool SetLineName(const char *name) { return SetPrimaryKey(name); }

    // User name or ID at the provider.
    const char *GetLineID(char *out) { return GetString("ID", "", out); }
    bool SetLineID(const char *value) { return SetString("ID", value); }
    // Host[:port]; "" = the device registers to the exchange instead.
    const char *GetServer(char *out) { return GetString("Server", "", out); }
    bool SetServer(const char *value) { return SetString("Server", value); }
    const char *GetPassword(char *out) { return LSettingsFile::GetPassword("Password", "", out); }
    bool SetPassword(const char *value) { return LSettingsFile::SetPassword("Password", value); }
    // "" = authenticate with the line ID.
    const char *GetAuthUserID(char *out) { return GetString("AuthUserId", "", out); }
    bool SetAuthUserID(const char *value) { return SetString("AuthUserId", value); }
    // "" = send to the server.
    const char *GetOutboundProxy(char *out) { return GetString("OutboundProxy", "", out); }
    bool SetOutboundProxy(const char *value) { return SetString("OutboundProxy", value); }
    // Extension or group that incoming calls ring; "" = none.
    const char *GetRingOnLine(char *out) { return GetString("RingOnLine", "", out); }
    bool SetRingOnLine(const char *value) { return SetString("RingOnLine", value); }
    // Put in front of incoming caller IDs so they can be dialled back.
    const char *GetPrependCID(char *out) { return GetString("PrependCID", "9", out); }
    bool SetPrependCID(const char *value) { return SetString("PrependCID", value); }
    // Line tried next when an outgoing call fails here; "" = none.
    const char *GetChainLine(char *out) { return GetString("ChainLine", "", out); }
    bool SetChainLine(const char *value) { return SetString("ChainLine", value); }
    // The failure status that stops the chain.
    int GetChainAbortResponse() { return GetInt("ChainAbortResponse", 600); }
    bool SetChainAbortResponse(int status) { return SetInt("ChainAbortResponse", status); }
    bool GetDisablePolling() { return GetBool("DisablePolling", false); }
    bool SetDisablePolling(bool on) { return SetBool("DisablePolling", on); }
    bool GetProhibitOddRtp() { return GetBool("ProhibitOddRtp", false); }
    bool SetProhibitOddRtp(bool on) { return SetBool("ProhibitOddRtp", on); }
    bool GetAlwaysRelay() { return GetBool("AlwaysRelay", false); }
    bool SetAlwaysRelay(bool on) { return SetBool("AlwaysRelay", on); }
    bool GetRelayNotNeeded() { return GetBool("RelayNotNeeded", false); }
    bool SetRelayNotNeeded(bool on) { return SetBool("RelayNotNeeded", on); }
    bool GetRecordIncoming() { return GetBool("Record", false); }
    bool SetRecordIncoming(bool on) { return SetBool("Record", on); }
};

class LPBXExternalLineList : public LPBXListTemplate<LPBXExternalLine>
{
  public:
    LPBXExternalLineList() : LPBXListTemplate<LPBXExternalLine>("Lines", "External") {}
};

class LPBXExternalLineListIterator : public LPBXListIteratorTemplate<LPBXExternalLine>
{
  public:
    LPBXExternalLineListIterator() : LPBXListIteratorTemplate<LPBXExternalLine>("Lines", "External")
    {
    }
};

// Creates the line unless one of that name exists, ringing on ringOn; with a
// line ID also that ID, a random password, and the password copied to
// "Settings" / line ID + "Pass". True when it was created.
bool CreateExternalLine(const char *name, const char *ringOn, const char *lineId);
