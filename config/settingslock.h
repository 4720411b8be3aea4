// Advisory locking between the writers of the settings tree.
//
// Record files are replaced by rename, so a lock on a record file itself would
// be lost with the old inode. Writers therefore lock a sidecar file "..lock" in
// the record's folder; readers need no lock because a rename is atomic: they
// see the old or the new file, never a partly written one.
#pragma once

// flock() with a time budget: non-blocking attempts with sleeps that start at
// 1 ms and double up to 64 ms, until budgetMs has passed. False when the lock
// is held elsewhere for the whole budget or flock fails otherwise.
bool flocktimed(int fd, int operation, int budgetMs);

// The exclusive writer lock of one folder, held for the object's lifetime.
class LSettingsFolderLock
{
  public:
    LSettingsFolderLock(const char *folder, int budgetMs);
    ~LSettingsFolderLock();
    LSettingsFolderLock(const LSettingsFolderLock &) = delete;
    LSettingsFolderLock &operator=(const LSettingsFolderLock &) = delete;

    bool IsLocked() const { return fd >= 0; }

  private:
    int fd = -1;
};

// Name of the sidecar lock file in every folder that holds written records.
extern const char *const LSettingsLockFileName;

// How long a writer waits for the folder lock before it gives up. The
// default is 10 s; tests shorten it.
int LSettingsGetWriteBudget();
void LSettingsSetWriteBudget(int budgetMs);
