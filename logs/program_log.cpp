#include "logs/program_log.h"

#include "config/folders.h"
#include "logs/file_append.h"
#include "logs/log_line_clock.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace
{
char gLogFolder[kLogPathMax + 1];
std::atomic<LLogListener> gListener{nullptr};
std::atomic<LLogLineReceiver *> gReceiver{nullptr};
std::atomic<LLockSleepFunc> gSleeper{nullptr};

const char kLineEnd[] = "\r\n";

bool PathInLogFolder(char *out, size_t size, const char *fileName);

// The day's file stays open between lines (an open and a close per line were
// a good part of a call's system calls); the date change or another folder
// closes it and the next line opens the new one. Each line is still written
// whole under the file's exclusive lock, which is what other processes
// appending to the same file rely on. The time text and the path come from
// the same cached second, so a line never carries a time of another day
// than its file.
struct OpenDayFile {
    std::mutex lock;
    int fd = -1;
    LLogLineClock clock;
    char path[kLogPathMax + 1] = "";

    // Called with lock held.
    void Forget()
    {
        if (fd >= 0)
            close(fd);
        fd = -1;
        path[0] = 0;
        clock.Reset();
    }
};
OpenDayFile gDayFile;

// Appends "time text" to the day file and hands the time text back.
void AppendToDayFile(const char *text, char (&timeText)[16], LLockSleepFunc sleeper)
{
    time_t now = time(nullptr);
    std::lock_guard<std::mutex> hold(gDayFile.lock);
    if (gDayFile.clock.Update(now) || !gDayFile.path[0]) {
        char path[kLogPathMax + 1];
        if (!PathInLogFolder(path, sizeof path, gDayFile.clock.FileName()))
            path[0] = 0;
        if (std::strcmp(path, gDayFile.path) != 0) {
            if (gDayFile.fd >= 0)
                close(gDayFile.fd);
            gDayFile.fd = -1;
            std::memcpy(gDayFile.path, path, sizeof path);
        }
    }
    std::memcpy(timeText, gDayFile.clock.TimeText(), sizeof timeText);
    if (!gDayFile.path[0])
        return;
    if (gDayFile.fd < 0)
        gDayFile.fd = open(gDayFile.path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (gDayFile.fd < 0)
        return;
    char line[kLogLineMax + 1];
    size_t length = LLogFormatLine(line, sizeof line, timeText, text);
    LAppendToOpenFile(gDayFile.fd, line, length, sleeper);
}

LLockSleepFunc Sleeper()
{
    LLockSleepFunc sleeper = gSleeper.load();
    return sleeper ? sleeper : LLockSleepMs;
}

bool PathInLogFolder(char *out, size_t size, const char *fileName)
{
    if (!gLogFolder[0])
        return false;
    int n = std::snprintf(out, size, "%s/%s", gLogFolder, fileName);
    return n > 0 && static_cast<size_t>(n) < size;
}

void FileSink(int level, const char *text)
{
    LLog::Log(text, level);
}
} // namespace

void LLogFormatTime(char *out, size_t size, const tm &local)
{
    std::snprintf(out, size, "%.2d:%.2d:%.2d", local.tm_hour, local.tm_min, local.tm_sec);
}

size_t LLogFormatLine(char *out, size_t size, const char *timeText, const char *text)
{
    if (size == 0)
        return 0;
    size_t cap = size - 1 < kLogLineMax ? size - 1 : kLogLineMax;
    const size_t ending = sizeof kLineEnd - 1;
    size_t timeLen = std::strlen(timeText);
    if (cap < timeLen + 1 + ending) {
        out[0] = 0;
        return 0;
    }
    size_t room = cap - timeLen - 1 - ending;
    size_t textLen = strnlen(text, room);
    std::memcpy(out, timeText, timeLen);
    out[timeLen] = ' ';
    std::memcpy(out + timeLen + 1, text, textLen);
    std::memcpy(out + timeLen + 1 + textLen, kLineEnd, sizeof kLineEnd);
    return timeLen + 1 + textLen + ending;
}

void LLogFileName(char *out, size_t size, const tm &local)
{
    std::snprintf(out, size, "%.4d-%.2d-%.2d Vela Log.txt", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
}

namespace LLog
{
bool SetLogFolder(const char *folder)
{
    {
        std::lock_guard<std::mutex> hold(gDayFile.lock);
        std::snprintf(gLogFolder, sizeof gLogFolder, "%s", folder ? folder : "");
        gDayFile.Forget();
    }
    return gLogFolder[0] && LCreateFolder(gLogFolder);
}

const char *GetLogFolder()
{
    return gLogFolder;
}

void Log(const char *text, int level)
{
    if (!text)
        text = "";
    char timeText[16];
    AppendToDayFile(text, timeText, Sleeper());
    if (LLogListener listener = gListener.load())
        listener(level, timeText, text);
    if (LLogLineReceiver *receiver = gReceiver.load())
        receiver->LogLine(level, timeText, text);
}

void InstallFileSink()
{
    SetSink(FileSink);
}

void SetListener(LLogListener listener)
{
    gListener.store(listener);
}

void SetReceiver(LLogLineReceiver *receiver)
{
    gReceiver.store(receiver);
}

void SetLockSleeper(LLockSleepFunc sleeper)
{
    gSleeper.store(sleeper);
}
} // namespace LLog

bool LLogWrite(const char *fileName, const char *text)
{
    char path[kLogPathMax + 1];
    if (!text || !PathInLogFolder(path, sizeof path, fileName)) {
        errno = ENOENT;
        return false;
    }
    return LAppendToFile(path, text, std::strlen(text), Sleeper());
}
