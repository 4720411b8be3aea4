#include "web/weblet_session.h"

#include "config/folders.h"
#include "config/settingslock.h"
#include "platform/log.h"
#include "platform/random.h"
#include "web/web_settings.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int kLockBudgetMs = 10000;

std::atomic<int> session_counter{1};

bool EndsWith(const char *name, const char *suffix)
{
    size_t n = strlen(name), s = strlen(suffix);
    return n >= s && strcmp(name + n - s, suffix) == 0;
}
} // namespace

std::string WebletMakeSessionID(bool remember)
{
    // Letters come from getrandom(): a guessable ID would be a log-on.
    unsigned char probe;
    if (!LRandomBytes(&probe, 1))
        return std::string();
    char letters[LWebletSessionData::kIdLetters + 1];
    LRandomLetters(letters, LWebletSessionData::kIdLetters, "abcdefghijklmnopqrstuvwxyz");
    std::string id = remember ? "l" : "s";
    id += letters;
    id += std::to_string(session_counter.fetch_add(1));
    return id;
}

void LWebletSessionData::Housekeeping(const std::string &folder, long now)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent *entry = readdir(dir)) {
        if (!EndsWith(entry->d_name, ".sess"))
            continue;
        std::string file = folder + "/" + entry->d_name;
        struct stat st;
        if (stat(file.c_str(), &st) != 0)
            continue;
        long age = now - (long)st.st_mtime;
        bool remembered = entry->d_name[0] == 'l';
        if (age > kMaxAgeSeconds && !(remembered && age <= kRememberedMaxAgeSeconds))
            unlink(file.c_str());
    }
    closedir(dir);
}

void LWebletSessionData::Close()
{
    if (write_fd >= 0)
        close(write_fd);
    write_fd = -1;
}

void LWebletSessionData::LoadSession(const char *session_id)
{
    Housekeeping(folder, (long)time(nullptr));
    if (!*session_id || strchr(session_id, '/') || strchr(session_id, '\\'))
        return;
    Clear();
    Close();
    id = session_id;
    path = folder + "/" + id + ".sess";
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        path.clear();
        return;
    }
    if (Expired(fd)) {
        LOGINFO("Web session ended after its idle time.");
        close(fd);
        unlink(path.c_str());
        path.clear();
        return;
    }
    flocktimed(fd, LOCK_SH, kLockBudgetMs);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, (size_t)n);
    close(fd);
    LoadHTTPString(text.c_str());
}

// The file's modification time is the session's last use: a session older
// than the idle limit has ended; a live one is touched at most once a
// minute so that a session in use stays alive without a write per request.
bool LWebletSessionData::Expired(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return false;
    long idle = (long)time(nullptr) - (long)st.st_mtime;
    if (id[0] != 'l' && idle_limit > 0 && idle > idle_limit)
        return true;
    if (idle >= 60 && futimens(fd, nullptr) != 0)
        LOGWARNTEXT("Web session: cannot mark the use of ", path.c_str());
    return false;
}

long WebletSessionIdleSeconds()
{
    int minutes = WebSettingGetInt("WebAccess", "IdleMinutes", 30);
    return minutes > 0 ? minutes * 60L : 0;
}

bool LWebletSessionData::CreateNewSession(bool remember)
{
    Clear();
    Close();
    id = WebletMakeSessionID(remember);
    if (id.empty()) {
        LOGERROR("Web session: no random bytes for a session ID.");
        path.clear();
        return false;
    }
    // Session files are log-on tokens: keep them to the service's own user.
    LCreateFolder(folder.c_str());
    chmod(folder.c_str(), 0700);
    path = folder + "/" + id + ".sess";
    SetDirty();
    return write_fd >= 0;
}

void LWebletSessionData::SetDirty()
{
    if (write_fd >= 0 || path.empty())
        return;
    write_fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (write_fd < 0) {
        LOGERRORTEXT("Web session: cannot write ", path.c_str());
        return;
    }
    flocktimed(write_fd, LOCK_EX, kLockBudgetMs);
    if (ftruncate(write_fd, 0) != 0)
        LOGERRORTEXT("Web session: cannot truncate ", path.c_str());
}

void LWebletSessionData::FlushSession()
{
    if (write_fd < 0)
        return;
    LStringLong text;
    SaveHTTPString(text);
    if (write(write_fd, text.GetString(), (size_t)text.GetLength()) != (ssize_t)text.GetLength())
        LOGERRORTEXT("Web session: cannot write ", path.c_str());
    Close();
}

void LWebletSessionData::DeleteSession()
{
    Close();
    Clear();
    if (!path.empty())
        unlink(path.c_str());
    id.clear();
    path.clear();
}

void LWebletSessionData::SetParm(const char *name, const char *value)
{
    LHashTable::SetParm(name, value);
    SetDirty();
}

void LWebletSessionData::SetInt(const char *name, int value)
{
    LHashTable::SetInt(name, value);
    SetDirty();
}

void LWebletSessionData::DeleteParm(const char *name)
{
    LHashTable::DeleteParm(name);
    SetDirty();
}
