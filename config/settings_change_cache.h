// The parsed content of settings files, shared by every LSettingsFile object
// of the process and kept current by inotify (one watch per folder).
//
// Entity objects are short-lived, so a cache of their own re-read each file
// on first use, and every later access checked it with a stat. Here a file
// is read once; any write to it (by this or another process) queues an
// inotify event in the kernel before the writer's system call returns, and
// every access first drains the queue (one read that usually returns
// nothing), so a change is still seen by the very next access.
#pragma once

#include "config/settingstext.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

class LSettingsChangeCache
{
  public:
    enum class Result {
        Untracked,  // no watch could be set (folder missing, watches used up)
        Missing,    // the file does not exist: no entries
        Unreadable, // it exists but cannot be read; nothing is cached
        Loaded,     // entries holds the file's current content
    };

    LSettingsChangeCache();
    ~LSettingsChangeCache();
    LSettingsChangeCache(const LSettingsChangeCache &) = delete;
    LSettingsChangeCache &operator=(const LSettingsChangeCache &) = delete;

    // The current entries of the file at path.
    Result Get(const char *path, std::shared_ptr<const LSettingsEntries> &entries);

    // The cache every LSettingsFile of this process reads through. A forked
    // child starts with an empty one of its own: the parent's inotify queue
    // must not be read by two processes.
    static LSettingsChangeCache &OfProcess();

    // Bounds, so that a tree of many thousand records cannot grow the
    // process without limit: past them files are read as before.
    static constexpr size_t kMaxFiles = 16384;
    static constexpr size_t kMaxFolders = 8192;

  private:
    struct File {
        bool present = false;
        std::shared_ptr<const LSettingsEntries> entries;
    };
    void Drain();
    void ForgetFolder(int wd);
    // The watch of folder, set on first use; -1 when none can be set.
    int WatchOf(const std::string &folder);
    static std::string FileKey(int wd, const char *name);
    void Reset();

    std::mutex lock;
    int fd = -1;
    bool failed = false;
    std::unordered_map<std::string, int> folders; // folder path -> watch
    std::unordered_map<std::string, File> files;  // FileKey -> content
};
