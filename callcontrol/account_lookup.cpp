#include "callcontrol/account_lookup.h"

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

bool LPBXFindExtension(const char *name, LPBXExtension &out)
{
    char key[LPathSize];
    for (LPBXExtensionListIterator it; it; it.Next()) {
        if (LSipEqualNoCase(it->GetName(key), name) && RecordFileExists(*it)) {
            out = *it;
            return true;
        }
    }
    return false;
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
