// Groups: ring groups and queues, with the extensions they ring in stages.
#pragma once

#include "config/pbx_list.h"

// Key: the group number or name (lower case); 701 is the first.
class LPBXGroup : public LSettingsRecord
{
  public:
    // A member; its key is the extension it rings, fixed at creation.
    class Extension : public LSettingsRecord
    {
      public:
        const char *GetExtension(char *out) { return GetString("Extension", "101", out); }
        bool SetExtension(const char *value) { return SetString("Extension", value); }
        // Seconds after the call arrives before this member rings.
        int GetDelayTime() { return GetInt("Delay", 0); }
        bool SetDelayTime(int seconds) { return SetInt("Delay", seconds); }
    };

    class ExtensionList : public LPBXListTemplate<Extension>
    {
      public:
        using LPBXListTemplate<Extension>::LPBXListTemplate;
        // Adds (or updates) the member ringing extension after delay seconds.
        bool AddMember(const char *extension, int delaySeconds) const;
    };

    class ExtensionListIterator : public LPBXListIteratorTemplate<Extension>
    {
      public:
        explicit ExtensionListIterator(const LPBXGroup &group)
            : LPBXListIteratorTemplate<Extension>(group, "Extensions")
        {
        }
        explicit ExtensionListIterator(const ExtensionList &list)
            : LPBXListIteratorTemplate<Extension>(list)
        {
        }
    };

    const char *GetName(char *out) const { return GetPrimaryKey(out); }
    bool SetName(const char *name) { return SetPrimaryKey(name); }

    // "" = not answered before a member answers; else the .wav played first.
    const char *GetStartPrompt(char *out) { return GetString("StartPrompt", "", out); }
    bool SetStartPrompt(const char *value) { return SetString("StartPrompt", value); }
    // "" = ringing, "-" = built-in chimes, else host:port of an on-hold
    // player. Unset means the player on this machine, or the chimes when
    // none listens there.
    const char *GetWaitHold(char *out);
    bool SetWaitHold(const char *value) { return SetString("Hold", value); }

    ExtensionList GetExtensionList() const { return ExtensionList(*this, "Extensions"); }
};

class LPBXGroupList : public LPBXListTemplate<LPBXGroup>
{
  public:
    LPBXGroupList() : LPBXListTemplate<LPBXGroup>("Lines", "Groups") {}
};

class LPBXGroupListIterator : public LPBXListIteratorTemplate<LPBXGroup>
{
  public:
    LPBXGroupListIterator() : LPBXListIteratorTemplate<LPBXGroup>("Lines", "Groups") {}
};

// The next free group number: one more than the highest numeric group name,
// at least 701.
int GetMaxGroupNo();
