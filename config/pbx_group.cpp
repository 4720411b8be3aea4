#include "config/pbx_group.h"

#include "config/pbx_numbers.h"

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
