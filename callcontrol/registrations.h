// The registrations of a running exchange, kept in memory and written to the
// contact records behind the REGISTER's answer, so that a registration costs
// no file creation on the receive thread. Readers ask this object and see a
// binding the moment the registrar stored it. Registrations are soft state
// (RFC 3261 section 10.2.1: a phone refreshes its binding and registers
// again when unknown), so a process killed before the writer caught up
// loses at most the bindings of its last moments; Stop writes everything.
//
// The files stay the shared form: an account is loaded from them on first
// use, and loaded again when its contact folder changed under us (another
// process or a panel page wrote it) while nothing of ours was pending.
#pragma once

#include "callcontrol/contact_store.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

class LPBXRegistrations : public LPBXContactStore
{
  public:
    LPBXRegistrations() = default;
    ~LPBXRegistrations() override { Stop(); }
    LPBXRegistrations(const LPBXRegistrations &) = delete;
    LPBXRegistrations &operator=(const LPBXRegistrations &) = delete;

    // Starts the writer; until then (and after Stop) writes go straight to
    // the files.
    void Start();
    // Writes whatever is pending, then stops the writer.
    void Stop();
    // Returns once every change stored before the call is on disk.
    void Flush();

    LPBXBindings Read(const LPBXContactList &account) override;
    bool Write(const LPBXContactList &account, LPBXBindings &bindings) override;

  private:
    // Identity of the contact folder: what a change by someone else alters.
    struct Stamp {
        bool exists = false;
        int64_t sec = 0, nsec = 0;
        uint64_t inode = 0;
        bool operator==(const Stamp &o) const
        {
            return exists == o.exists && sec == o.sec && nsec == o.nsec && inode == o.inode;
        }
    };
    // Kept per registered phone, so only what the writer needs: the record
    // is rebuilt from its path (the map's key) when it is written.
    struct Account {
        LPBXBindings bindings;
        Stamp stamp;        // of the folder as last loaded or written by us
        bool dirty = false; // changed since the writer took it
        bool writing = false;
    };
    static Stamp StampOf(const LPBXContactList &account);
    void Run();
    void WriteBehind(std::unique_lock<std::mutex> &hold);
    void TakeKeys(const std::string &key, Account &account, const LPBXBindings &written);

    LPBXFileContacts m_Files;
    std::mutex m_Lock;
    std::condition_variable m_Wake, m_Idle;
    std::unordered_map<std::string, Account> m_Accounts; // by record path
    std::deque<std::string> m_Dirty;
    int m_Writing = 0;
    bool m_Running = false, m_Stopping = false;
    std::thread m_Thread;
};
