// Makers of the identifiers the exchange writes into SIP messages: Via
// branches, local tags and Call-IDs. The SIP engine owns one instance; the
// makers may be called from any thread.
#pragma once

#include "platform/lock.h"
#include "sip/siptext.h"

#include <cstddef>
#include <cstdint>

// RFC 3261 section 8.1.1.7: branches of conforming agents start with this.
constexpr const char *kSipBranchMagic = "z9hG4bK";

class LSipIdentifierMaker
{
  public:
    // computerName is the host name; it is percent-coded here.
    LSipIdentifierMaker(int processId, const char *computerName);

    // "z9hG4bK%d%d": the branch counter (from 0) and the process id.
    void CreateNewBranchID(char *out, size_t capacity);
    // "%d": the local-tag counter.
    void CreateNewLocalTag(char *out, size_t capacity);
    // "%d-%d-%s@%s": the Call-ID counter, the process id, the coded computer
    // name and the advertised address.
    void CreateNewCallId(char *out, size_t capacity, const char *publicIP);

    const char *GetComputerName() const { return m_ComputerName; }

  private:
    int m_ProcessId;
    char m_ComputerName[kSipLongText];
    LLockObject m_IdentifierLock;
    uint32_t m_CallIdCounter;
    uint32_t m_LocalTagCounter;
    LLockObject m_BranchLock;
    uint32_t m_BranchCounter = 0;
};
