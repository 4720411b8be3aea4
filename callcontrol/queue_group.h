// Queue groups: every group rings for one call at a time. A second call to
// the same group waits until the first has been answered or has given up;
// callers are served in order of arrival. The registry holds one queue per
// group that has calls; a call's place in a queue lives exactly as long as
// some handle (LPBXQueuerGroupCall, LPBXQueuerItem) refers to it.
#pragma once

#include "platform/list.h"
#include "platform/lock.h"
#include "platform/ptr.h"
#include "platform/signal.h"

constexpr int kPBXQueuerNameSize = 260;

// The queue of one group, present only while it holds at least one call.
class LPBXQueuerGroup : public LListable
{
  public:
    // One place in the queue: the waiting call's signal.
    class Item : public LListable
    {
      public:
        explicit Item(LSignalObject *signal) : m_Signal(signal) {}
        LSignalObject *GetSignal() const { return m_Signal; }

      private:
        LSignalObject *m_Signal;
    };

    explicit LPBXQueuerGroup(const char *name);

    const char *GetName() const { return m_Name; }
    // Appends the call; a call entering an empty queue is at the front at
    // once, so its signal is set.
    void AddCall(LSignalObject *signal);
    // Removes the call; when it was at the front, the next call is signalled.
    void DeleteCall(LSignalObject *signal);
    bool IsEmpty() const { return m_Items.IsEmpty(); }
    int GetCount() const { return m_Items.GetCount(); }
    // Position of the call (0 = front), -1 when it is not queued here.
    int GetPosition(const LSignalObject *signal) const;

  private:
    char m_Name[kPBXQueuerNameSize];
    // Kept in arrival order: new items are appended at the end.
    LListOf<Item> m_Items;
};

// The registry of group queues, one per exchange: the target environment
// that every target list is built in holds it. Every operation holds its one
// lock; signals are set under it and waited on without it.
class LPBXQueuer
{
  public:
    // Group names compare without case.
    void RegisterGroupCall(const char *name, LSignalObject *signal);
    void UnregisterGroupCall(const char *name, LSignalObject *signal);

    // Observers for the call thread's status and for checks of leaks.
    int GetGroupCount();
    int GetQueueLength(const char *name);
    int GetPosition(const char *name, const LSignalObject *signal);

  private:
    LPBXQueuerGroup *FindLocked(const char *name);

    LLockObject m_Lock;
    LListOf<LPBXQueuerGroup> m_Groups;
};

// One call's place in the queue of one group. The signal is set while the
// call is at the front (always for an empty name: nothing to queue for).
class LPBXQueuerGroupCallBase : public LCountable
{
  public:
    LPBXQueuerGroupCallBase(LPBXQueuer &queues, const char *name);
    ~LPBXQueuerGroupCallBase() override;

    LSignalObject &GetSignal() { return m_Signal; }
    const char *GetGroupName() const { return m_Name; }

  private:
    LPBXQueuer &m_Queues;
    LSignalObject m_Signal;
    char m_Name[kPBXQueuerNameSize];
};

// The handle held by the code that builds a target list; copies share the
// place, and the place is given up when the last copy goes away.
class LPBXQueuerGroupCall
{
  public:
    // No queueing.
    LPBXQueuerGroupCall() = default;
    // A new place at the end of the group's queue in queues.
    LPBXQueuerGroupCall(LPBXQueuer &queues, const char *name);

    bool IsEmpty() const { return m_Base.IsNull(); }
    LPBXQueuerGroupCallBase *Get() const { return m_Base.Get(); }
    const char *GetGroupName() const { return m_Base ? m_Base->GetGroupName() : ""; }

  private:
    LCountedPtr<LPBXQueuerGroupCallBase> m_Base;
};

// The copy of the handle that each target of a group call keeps.
class LPBXQueuerItem
{
  public:
    LPBXQueuerItem() = default;
    explicit LPBXQueuerItem(const LPBXQueuerGroupCall &call) : m_Call(call) {}

    // Null when the target may be rung now (no queue, or the call is at the
    // front); otherwise the signal that is set when the call reaches it.
    LSignalObject *WaitTillFrontOfQueue() const;
    const LPBXQueuerGroupCall &GetGroupCall() const { return m_Call; }

  private:
    LPBXQueuerGroupCall m_Call;
};
