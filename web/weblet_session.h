// A control-panel session: URL-encoded name/value pairs in one file per
// session, "<id>.sess" in the session folder. The file is written back when
// the request ends if a value was stored.
#pragma once

#include "platform/hashtable.h"

#include <string>

class LWebletSessionData : public LHashTable
{
  public:
    static constexpr long kMaxAgeSeconds = 604800;             // 7 days
    static constexpr long kRememberedMaxAgeSeconds = 15768000; // 182.5 days
    // Random letters of an ID: 26^22 is above 2^103, beyond guessing.
    static constexpr int kIdLetters = 22;

    explicit LWebletSessionData(std::string folder) : folder(std::move(folder)) {}
    ~LWebletSessionData() { FlushSession(); }
    LWebletSessionData(const LWebletSessionData &) = delete;
    LWebletSessionData &operator=(const LWebletSessionData &) = delete;

    // Runs housekeeping, then opens the session of that ID if its file exists
    // and, unless remembered, was used within the idle limit.
    void LoadSession(const char *id);
    // Seconds without a request after which an ordinary session ends (0 =
    // never).
    void SetIdleLimit(long seconds) { idle_limit = seconds; }
    bool CreateNewSession(bool remember);
    void DeleteSession();

    void SetParm(const char *name, const char *value);
    void SetString(const char *name, const char *value) { SetParm(name, value); }
    void SetInt(const char *name, int value);
    void DeleteParm(const char *name);

    const char *GetID() const { return id.c_str(); }
    bool IsOpen() const { return !path.empty(); }
    void SetDirty();
    void FlushSession();

    // Deletes "*.sess" files older than 7 days, remembered ("l...") ones
    // only after 182.5 days.
    static void Housekeeping(const std::string &folder, long now);

  private:
    void Close();
    bool Expired(int fd);

    std::string folder;
    std::string id;
    std::string path;
    int write_fd = -1;
    long idle_limit = 0;
};

// "WebAccess" / "IdleMinutes" (default 30) in seconds.
long WebletSessionIdleSeconds();

// "l" or "s", 22 random lower-case letters from the kernel's random source,
// then the process-wide session counter.
std::string WebletMakeSessionID(bool remember);
