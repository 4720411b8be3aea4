#include "config/pbx_group.h"

#include "config/hold_server.h"
#include "config/pbx_numbers.h"

namespace
{
constexpr int kHoldServerPort = 606;
}

const char *LPBXGroup::GetWaitHold(char *out)
{
    // The default streams from a player on this machine; where none runs the
    // caller would only hear the silence of a dead stream, so the stock music.
    return GetString("Hold", LHoldServerListening(kHoldServerPort) ? "localhost:606" : "-", out);
}

bool LPBXGroup::ExtensionList::AddMember(const char *extension, int delaySeconds) const
{
    Extension member;
    return CreateNewRecord(member, extension) && member.SetExtension(extension) &&
           member.SetDelayTime(delaySeconds);
}

int GetMaxGroupNo()
{
    long long highest = 700;
    char name[LPathSize];
    for (LPBXGroupListIterator it; it; it.Next()) {
        long long n = LPBXNameNumber(it->GetName(name));
        if (n > highest)
            highest = n;
    }
    return LPBXNextNumber(highest, 701);
}
