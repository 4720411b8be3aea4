#include "config/settings_change_cache.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace
{
// Everything that can change what a later read of a file in the folder
// returns: in-place writes (other processes may edit with any tool), the
// creation, deletion and renaming of files (our own saves rename), and the
// folder itself going away. A touch or chmod leaves the content as it is.
constexpr uint32_t kFolderEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                   IN_ONLYDIR;

const std::shared_ptr<const LSettingsEntries> &NoEntries()
{
    static const auto *none =
        new std::shared_ptr<const LSettingsEntries>(std::make_shared<const LSettingsEntries>());
    return *none;
}

bool ReadWhole(int fd, std::string &text)
{
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, (size_t)n);
    }
}
} // namespace

LSettingsChangeCache::LSettingsChangeCache() = default;

LSettingsChangeCache::~LSettingsChangeCache()
{
    Reset();
}

void LSettingsChangeCache::Reset()
{
    if (fd >= 0)
        close(fd);
    fd = -1;
    failed = false;
    folders.clear();
    files.clear();
}

LSettingsChangeCache &LSettingsChangeCache::OfProcess()
{
    // Never destroyed: detached threads may still read settings while the
    // process exits.
    static LSettingsChangeCache *cache = [] {
        auto *made = new LSettingsChangeCache;
        // Held across fork so that the child's copy is consistent, which the
        // child then throws away: its reads must not take the parent's events.
        pthread_atfork([] { OfProcess().lock.lock(); }, [] { OfProcess().lock.unlock(); },
                       [] {
                           LSettingsChangeCache &c = OfProcess();
                           c.Reset();
                           c.lock.unlock();
                       });
        return made;
    }();
    return *cache;
}

std::string LSettingsChangeCache::FileKey(int wd, const char *name)
{
    return std::to_string(wd) + '/' + name;
}

void LSettingsChangeCache::ForgetFolder(int wd)
{
    std::string prefix = std::to_string(wd) + '/';
    for (auto it = files.begin(); it != files.end();)
        it = it->first.compare(0, prefix.size(), prefix) == 0 ? files.erase(it) : std::next(it);
    for (auto it = folders.begin(); it != folders.end();)
        it = it->second == wd ? folders.erase(it) : std::next(it);
}

void LSettingsChangeCache::Drain()
{
    if (fd < 0)
        return;
    constexpr size_t kLargest = sizeof(inotify_event) + NAME_MAX + 1;
    alignas(inotify_event) char buffer[16 * kLargest];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (char *at = buffer; at < buffer + n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(at);
            at += sizeof(inotify_event) + e->len;
            if (e->mask & IN_Q_OVERFLOW) {
                files.clear();
            } else if (e->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                // A moved folder keeps its watch, but its old path now names
                // something else.
                if (e->mask & IN_MOVE_SELF)
                    inotify_rm_watch(fd, e->wd);
                ForgetFolder(e->wd);
            } else if (e->len > 0) {
                files.erase(FileKey(e->wd, e->name));
            }
        }
        // A short read took every event queued when it was made; the events
        // of writes finished before this access are among them.
        if ((size_t)n < sizeof buffer - kLargest)
            return;
    }
}

int LSettingsChangeCache::WatchOf(const std::string &folder)
{
    auto found = folders.find(folder);
    if (found != folders.end())
        return found->second;
    if (fd < 0 && !failed) {
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        failed = fd < 0;
    }
    if (fd < 0 || folders.size() >= kMaxFolders)
        return -1;
    int wd = inotify_add_watch(fd, folder.c_str(), kFolderEvents);
    if (wd >= 0)
        folders.emplace(folder, wd);
    return wd;
}

LSettingsChangeCache::Result
LSettingsChangeCache::Get(const char *path, std::shared_ptr<const LSettingsEntries> &entries)
{
    const char *slash = strrchr(path, '/');
    if (!slash || slash == path || !slash[1])
        return Result::Untracked;
    std::lock_guard<std::mutex> hold(lock);
    Drain();
    // The watch is in place before the file is read, so a write after the
    // read always leaves an event for the next access.
    int wd = WatchOf(std::string(path, (size_t)(slash - path)));
    if (wd < 0)
        return Result::Untracked;
    std::string key = FileKey(wd, slash + 1);
    auto found = files.find(key);
    if (found != files.end()) {
        entries = found->second.entries;
        return found->second.present ? Result::Loaded : Result::Missing;
    }
    File file;
    int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        if (errno != ENOENT)
            return Result::Unreadable;
        file.entries = NoEntries();
    } else {
        std::string text;
        bool read = ReadWhole(in, text);
        close(in);
        if (!read)
            return Result::Unreadable;
        file.present = true;
        file.entries =
            std::make_shared<const LSettingsEntries>(LSettingsParse(text.data(), text.size()));
    }
    if (files.size() >= kMaxFiles)
        files.clear();
    entries = file.entries;
    Result result = file.present ? Result::Loaded : Result::Missing;
    files.emplace(std::move(key), std::move(file));
    return result;
}
