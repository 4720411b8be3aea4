#include "config/pbx_extension.h"

#include "config/pbx_global_settings.h"
#include "config/pbx_numbers.h"
#include "config/pbx_secret.h"
#include "platform/log.h"

#include <cstring>

const LPBXAppExtension LPBXAppExtensions[4] = {
    {"195", "Conference Server"},
    {"197", "On-Hold Player"},
    {"198", "Call Attendant"},
    {"199", "Voice Mail"},
};

bool IsSpecificAppExtension(const char *name)
{
    for (const LPBXAppExtension &app : LPBXAppExtensions)
        if (strcmp(name, app.number) == 0)
            return true;
    return false;
}

int GetMaxExtensionNo()
{
    // 190 to 199 are kept for the companion programs' extensions.
    long long highest = 100;
    char name[LPathSize];
    for (LPBXExtensionListIterator it; it; it.Next()) {
        long long n = LPBXNameNumber(it->GetName(name));
        if ((n < 190 || n > 199) && n > highest)
            highest = n;
    }
    return LPBXNextNumber(highest, 101);
}

bool CreateExtension(const char *name, const char *displayName, bool isApplication)
{
    LPBXExtensionList list;
    LPBXExtension ext;
    if (list.Exists(name) || !list.CreateNewRecord(ext, name))
        return false;
    char password[kPBXRandomPasswordLength + 1];
    if (!*CreateRandomExtensionPassword(password)) {
        LOGERRORTEXT("Extension not created for want of a password: ", name);
        return false;
    }
    // The password is written first: the record is listed from its first
    // field on, and must never be seen without it.
    if (!ext.SetPassword(password))
        return false;
    bool ok = ext.SetDisplayName(displayName) && ext.SetOutboundPlan("Default");
    if (isApplication) {
        ok = ext.SetVoiceMailExtension("") && ok;
        LPBXSetCompanionPassword(name, password);
    }
    return ok;
}
