#include "callcontrol/registrations.h"

#include "config/settingspath.h"

#include <sys/stat.h>

LPBXRegistrations::Stamp LPBXRegistrations::StampOf(const LPBXContactList &account)
{
    Stamp s;
    char list[LPathSize], folder[LPathSize];
    struct stat st;
    if (!account.IsValid() || !LSettingSubListSection(list, account.GetPath(), "ContactList") ||
        !LSettingGetSubListPath(folder, list) || stat(folder, &st) != 0)
        return s;
    s.exists = true;
    s.sec = st.st_mtim.tv_sec;
    s.nsec = st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

void LPBXRegistrations::Start()
{
    std::lock_guard<std::mutex> hold(m_Lock);
    if (m_Running)
        return;
    m_Running = true;
    m_Stopping = false;
    m_Thread = std::thread([this] { Run(); });
}

void LPBXRegistrations::Stop()
{
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        if (!m_Running)
            return;
        m_Stopping = true;
    }
    m_Wake.notify_all();
    m_Thread.join();
    std::lock_guard<std::mutex> hold(m_Lock);
    m_Running = false;
}

void LPBXRegistrations::Flush()
{
    std::unique_lock<std::mutex> hold(m_Lock);
    m_Idle.wait(hold, [this] { return !m_Running || (m_Dirty.empty() && m_Writing == 0); });
}

LPBXBindings LPBXRegistrations::Read(const LPBXContactList &account)
{
    std::string key = account.GetPath();
    Stamp now = StampOf(account);
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        auto it = m_Accounts.find(key);
        // Pending bindings are newer than any file.
        if (it != m_Accounts.end() &&
            (it->second.dirty || it->second.writing || it->second.stamp == now))
            return it->second.bindings;
    }
    LPBXBindings loaded = m_Files.Read(account);
    std::lock_guard<std::mutex> hold(m_Lock);
    Account &entry = m_Accounts[key];
    if (entry.dirty || entry.writing)
        return entry.bindings;
    entry.bindings = loaded;
    entry.stamp = now;
    return loaded;
}

bool LPBXRegistrations::Write(const LPBXContactList &account, LPBXBindings &bindings)
{
    std::unique_lock<std::mutex> hold(m_Lock);
    std::string key = account.GetPath();
    if (!m_Running) {
        hold.unlock();
        bool stored = m_Files.Write(account, bindings);
        Stamp stamp = StampOf(account);
        hold.lock();
        // Two changes of a folder within one clock tick may leave it the
        // same time stamp: the cache must not wait to see a change.
        m_Accounts.erase(key);
        if (stored)
            m_Accounts[key] = Account{bindings, stamp, false, false};
        return stored;
    }
    Account &entry = m_Accounts[key];
    entry.bindings = bindings;
    if (!entry.dirty) {
        entry.dirty = true;
        m_Dirty.push_back(key);
    }
    hold.unlock();
    m_Wake.notify_one();
    return true;
}

void LPBXRegistrations::Run()
{
    std::unique_lock<std::mutex> hold(m_Lock);
    for (;;) {
        m_Wake.wait(hold, [this] { return m_Stopping || !m_Dirty.empty(); });
        if (m_Dirty.empty())
            break;
        WriteBehind(hold);
        m_Idle.notify_all();
    }
    m_Idle.notify_all();
}

// Writes the oldest changed account outside the lock; changes made while it
// is written mark it again and are written on the next round.
void LPBXRegistrations::WriteBehind(std::unique_lock<std::mutex> &hold)
{
    std::string key = m_Dirty.front();
    m_Dirty.pop_front();
    Account &entry = m_Accounts[key]; // element references survive rehashing
    entry.dirty = false;
    entry.writing = true;
    m_Writing++;
    LPBXContactList record;
    record.ChangeFilePath(key.c_str());
    LPBXBindings written = entry.bindings;
    hold.unlock();
    bool stored = m_Files.Write(record, written);
    Stamp stamp = StampOf(record);
    hold.lock();
    m_Writing--;
    entry.writing = false;
    entry.stamp = stamp;
    struct stat st;
    if (!stored && !entry.dirty && stat(record.GetPath(), &st) != 0) {
        // The account is gone: so are its registrations.
        entry.bindings.clear();
        return;
    }
    TakeKeys(key, entry, written);
}

// Gives bindings the keys their new records got. A record made for a binding
// that was replaced in the meantime must go: the account is written again.
void LPBXRegistrations::TakeKeys(const std::string &key, Account &entry,
                                 const LPBXBindings &written)
{
    bool orphan = false;
    for (const LPBXBinding &w : written) {
        bool held = false;
        for (LPBXBinding &b : entry.bindings) {
            if (b.key.empty() && b.contact == w.contact && !w.key.empty())
                b.key = w.key;
            held = held || b.key == w.key;
        }
        orphan = orphan || (!held && !w.key.empty());
    }
    if (orphan && !entry.dirty) {
        entry.dirty = true;
        m_Dirty.push_back(key);
    }
}
