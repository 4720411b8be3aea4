#include "sip/sipidentifiers.h"

#include "platform/random.h"
#include "sip/uricoding.h"

#include <cstdio>

namespace
{
constexpr uint32_t kPositiveMask = 0x7fffffff;
}

// Call-ID and tag are all that routes an in-dialog request to a call, so
// counters that started from the clock would let an off-path sender guess
// them and end or hijack calls; they start from random values instead, below
// 2^31 so that they still print as "%d".
LSipIdentifierMaker::LSipIdentifierMaker(int processId, const char *computerName)
    : m_ProcessId(processId), m_CallIdCounter(LRandom32() & kPositiveMask),
      m_LocalTagCounter(LRandom32() & kPositiveMask)
{
    LURIEncode(m_ComputerName, computerName);
}

void LSipIdentifierMaker::CreateNewBranchID(char *out, size_t capacity)
{
    uint32_t counter;
    {
        LLockScope scope(m_BranchLock);
        counter = m_BranchCounter++ & kPositiveMask;
    }
    snprintf(out, capacity, "%s%d%d", kSipBranchMagic, (int)counter, m_ProcessId);
}

void LSipIdentifierMaker::CreateNewLocalTag(char *out, size_t capacity)
{
    uint32_t counter;
    {
        LLockScope scope(m_IdentifierLock);
        counter = m_LocalTagCounter++ & kPositiveMask;
    }
    snprintf(out, capacity, "%d", (int)counter);
}

void LSipIdentifierMaker::CreateNewCallId(char *out, size_t capacity, const char *publicIP)
{
    uint32_t counter;
    {
        LLockScope scope(m_IdentifierLock);
        counter = m_CallIdCounter++ & kPositiveMask;
    }
    snprintf(out, capacity, "%d-%d-%s@%s", (int)counter, m_ProcessId, m_ComputerName, publicIP);
}
