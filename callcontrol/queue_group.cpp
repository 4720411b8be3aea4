#include "callcontrol/queue_group.h"

#include <cstdio>
#include <strings.h>

namespace
{
void CopyName(char (&out)[kPBXQueuerNameSize], const char *name)
{
    snprintf(out, sizeof(out), "%s", name ? name : "");
}
} // namespace

LPBXQueuerGroup::LPBXQueuerGroup(const char *name)
{
    CopyName(m_Name, name);
}

void LPBXQueuerGroup::AddCall(LSignalObject *signal)
{
    if (m_Items.IsEmpty())
        signal->Signal();
    m_Items.AddBottom(new Item(signal));
}

void LPBXQueuerGroup::DeleteCall(LSignalObject *signal)
{
    bool wasFirst = true;
    for (LListIteratorOf<Item> it(m_Items); it.Get(); it.Next()) {
        if (it->GetSignal() != signal) {
            wasFirst = false;
            continue;
        }
        it.Delete();
        // The iterator now stands on the item that followed the removed one.
        if (wasFirst && it.Get())
            it->GetSignal()->Signal();
        return;
    }
}

int LPBXQueuerGroup::GetPosition(const LSignalObject *signal) const
{
    int position = 0;
    for (const Item *item = m_Items.GetFirst(); item; item = LListNext(item), position++)
        if (item->GetSignal() == signal)
            return position;
    return -1;
}

LPBXQueuerGroup *LPBXQueuer::FindLocked(const char *name)
{
    for (LPBXQueuerGroup *group = m_Groups.GetFirst(); group; group = LListNext(group))
        if (strcasecmp(group->GetName(), name) == 0)
            return group;
    return nullptr;
}

void LPBXQueuer::RegisterGroupCall(const char *name, LSignalObject *signal)
{
    LLockScope scope(m_Lock);
    LPBXQueuerGroup *group = FindLocked(name);
    if (!group) {
        group = new LPBXQueuerGroup(name);
        m_Groups.AddBottom(group);
    }
    group->AddCall(signal);
}

void LPBXQueuer::UnregisterGroupCall(const char *name, LSignalObject *signal)
{
    LLockScope scope(m_Lock);
    LPBXQueuerGroup *group = FindLocked(name);
    if (!group)
        return;
    group->DeleteCall(signal);
    if (group->IsEmpty())
        m_Groups.Delete(group);
}

int LPBXQueuer::GetGroupCount()
{
    LLockScope scope(m_Lock);
    return m_Groups.GetCount();
}

int LPBXQueuer::GetQueueLength(const char *name)
{
    LLockScope scope(m_Lock);
    LPBXQueuerGroup *group = FindLocked(name);
    return group ? group->GetCount() : 0;
}

int LPBXQueuer::GetPosition(const char *name, const LSignalObject *signal)
{
    LLockScope scope(m_Lock);
    LPBXQueuerGroup *group = FindLocked(name);
    return group ? group->GetPosition(signal) : -1;
}

LPBXQueuerGroupCallBase::LPBXQueuerGroupCallBase(LPBXQueuer &queues, const char *name)
    : m_Queues(queues)
{
    CopyName(m_Name, name);
    if (!m_Name[0])
        m_Signal.Signal();
    else
        m_Queues.RegisterGroupCall(m_Name, &m_Signal);
}

LPBXQueuerGroupCallBase::~LPBXQueuerGroupCallBase()
{
    if (m_Name[0])
        m_Queues.UnregisterGroupCall(m_Name, &m_Signal);
}

LPBXQueuerGroupCall::LPBXQueuerGroupCall(LPBXQueuer &queues, const char *name)
    : m_Base(new LPBXQueuerGroupCallBase(queues, name))
{
}

LSignalObject *LPBXQueuerItem::WaitTillFrontOfQueue() const
{
    LPBXQueuerGroupCallBase *base = m_Call.Get();
    if (!base || base->GetSignal().IsSignaled())
        return nullptr;
    return &base->GetSignal();
}
