#include "callcontrol/account_lookup.h"

#include "config/settingspath.h"
#include "sip/siptext.h"

#include <sys/stat.h>

namespace
{
bool RecordFileExists(const LSettingsRecord &rec)
{
    struct stat st;
    return rec.IsValid() && stat(rec.GetPath(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

// Keys are stored in lower case and a listed record is always reachable by
// its own key, so the one extension whose name equals name without case is
// the record of name's lower-case key: opened directly instead of statting
// every extension of a large exchange for each REGISTER and INVITE. The
// record found is a snapshot read once for the request that looks it up
// (one INVITE reads a dozen of its fields), so a change is seen by the next
// request. Loading it is the existence check; only a record that could not
// be read (not a file, no permission) is looked at again.
bool LPBXFindExtension(const char *name, LPBXExtension &out)
{
    char key[LPathSize];
    LPBXExtension rec;
    if (!LSettingsIsValidRecordKey(name) || !LPBXExtensionList().Open(rec, name))
        return false;
    rec.KeepSnapshot();
    if (!LSipEqualNoCase(rec.GetName(key), name) || !rec.CheckExists() ||
        (!rec.IsLoaded() && !RecordFileExists(rec)))
        return false;
    out = rec;
    return true;
}

bool LPBXFindExternalLine(const char *id, bool anyServer, LPBXExternalLine &out)
{
    char value[LPathSize];
    for (LPBXExternalLineListIterator it; it; it.Next()) {
        if (!LSipEqualNoCase(it->GetLineID(value), id) || !RecordFileExists(*it))
            continue;
        if (!anyServer && it->GetServer(value)[0])
            continue;
        out = *it;
        return true;
    }
    return false;
}
