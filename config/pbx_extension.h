// Extensions: the numbered accounts that phones register as and dial.
#pragma once

#include "config/pbx_contact.h"

// Key: the extension number or user name (lower case).
class LPBXExtension : public LPBXContactList
{
  public:
    const char *GetName(char *out) const { return GetPrimaryKey(out); }
    bool SetName(const char *name) { return SetPrimaryKey(name); }

    const char *GetDisplayName(char *out) { return GetString("DisplayName", "", out); }
    bool SetDisplayName(const char *value) { return SetString("DisplayName", value); }
    const char *GetPassword(char *out) { return LSettingsFile::GetPassword("Password", "", out); }
    bool SetPassword(const char *value) { return LSettingsFile::SetPassword("Password", value); }
    // Plan name, matched without case against the plan keys.
    const char *GetOutboundPlan(char *out) { return GetString("OutboundPlan", "Default", out); }
    bool SetOutboundPlan(const char *value) { return SetString("OutboundPlan", value); }
    // "" = no voice mail.
    const char *GetVoiceMailExtension(char *out)
    {
        return GetString("VoiceMailExtension", "199", out);
    }
    bool SetVoiceMailExtension(const char *value) { return SetString("VoiceMailExtension", value); }
    // Seconds of ringing before voice mail takes the call.
    int GetVoiceMailDelayTime() { return GetInt("VoiceMailDelay", 14); }
    bool SetVoiceMailDelayTime(int seconds) { return SetInt("VoiceMailDelay", seconds); }
    // "" = off.
    const char *GetTransferNotAnswered(char *out)
    {
        return GetString("TransferNotAnswered", "", out);
    }
    bool SetTransferNotAnswered(const char *value)
    {
        return SetString("TransferNotAnswered", value);
    }
    int GetTransferNotAnsweredDelayTime() { return GetInt("TransferNotAnsweredDelayTime", 14); }
    bool SetTransferNotAnsweredDelayTime(int seconds)
    {
        return SetInt("TransferNotAnsweredDelayTime", seconds);
    }
    bool GetRecordOutgoing() { return GetBool("Record", false); }
    bool SetRecordOutgoing(bool on) { return SetBool("Record", on); }
};

class LPBXExtensionList : public LPBXListTemplate<LPBXExtension>
{
  public:
    LPBXExtensionList() : LPBXListTemplate<LPBXExtension>("Lines", "Extensions") {}
};

class LPBXExtensionListIterator : public LPBXListIteratorTemplate<LPBXExtension>
{
  public:
    LPBXExtensionListIterator() : LPBXListIteratorTemplate<LPBXExtension>("Lines", "Extensions") {}
};

// The application extensions the setup creates for the companion programs.
struct LPBXAppExtension {
    const char *number;
    const char *displayName;
};
extern const LPBXAppExtension LPBXAppExtensions[4];

bool IsSpecificAppExtension(const char *name);

// The next free ordinary extension number: one more than the highest numeric
// extension outside 190 to 199, at least 101.
int GetMaxExtensionNo();

// Creates the extension unless one of that name exists: display name, a
// random password, plan "Default"; an application extension gets no voice
// mail and its password copied to "Settings" / name + "Pass". True when it
// was created.
bool CreateExtension(const char *name, const char *displayName, bool isApplication);
