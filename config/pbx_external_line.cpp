#include "config/pbx_external_line.h"

#include "config/pbx_global_settings.h"
#include "config/pbx_secret.h"
#include "platform/log.h"

bool CreateExternalLine(const char *name, const char *ringOn, const char *lineId)
{
    LPBXExternalLineList list;
    LPBXExternalLine line;
    if (list.Exists(name) || !list.CreateNewRecord(line, name))
        return false;
    if (!lineId || !*lineId)
        return line.SetRingOnLine(ringOn);
    char password[kPBXRandomPasswordLength + 1];
    if (!*CreateRandomExtensionPassword(password)) {
        LOGERRORTEXT("External line not created for want of a password: ", name);
        return false;
    }
    // Password before ID: a registering device is matched by the ID and must
    // never meet the line without its password.
    if (!line.SetPassword(password))
        return false;
    bool ok = line.SetLineID(lineId) && line.SetRingOnLine(ringOn);
    LPBXSetCompanionPassword(lineId, password);
    return ok;
}
