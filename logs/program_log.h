// The daily program log: once InstallFileSink has run, every LOG* line is
// appended, with its local time of day, to "YYYY-MM-DD Vela Log.txt" in the
// log folder, then handed to the listener when one is attached.
#pragma once

#include "logs/file_append.h"
#include "platform/log.h"

#include <cstddef>
#include <ctime>

// Longest line written to the file, line end included.
constexpr size_t kLogLineMax = 8191;
constexpr size_t kLogPathMax = 259;

// Receives each line after it was written: its level, the "HH:MM:SS" time
// text and the message.
using LLogListener = void (*)(int level, const char *timeText, const char *text);

// The same, as an object that carries its own state (the service's control
// channel, which sends every line to the connected desktop windows).
class LLogLineReceiver
{
  public:
    virtual void LogLine(int level, const char *timeText, const char *text) = 0;

  protected:
    ~LLogLineReceiver() = default;
};

// "%.2d:%.2d:%.2d" of the local time; out holds at least 9 characters.
void LLogFormatTime(char *out, size_t size, const tm &local);

// The log line "HH:MM:SS message\r\n" into out (size bytes with the
// terminator, at most kLogLineMax + 1 are used). A message too long for the
// line is cut, but the line end is always kept so that the next line starts
// on a line of its own. Returns the line length.
size_t LLogFormatLine(char *out, size_t size, const char *timeText, const char *text);

// "%.4d-%.2d-%.2d Vela Log.txt" of the local date.
void LLogFileName(char *out, size_t size, const tm &local);

namespace LLog
{
// Sets (and creates, one level at a time) the log folder. Call during
// start-up, before other threads log. Returns whether the folder exists.
bool SetLogFolder(const char *folder);
const char *GetLogFolder();

// Writes one program log line to the daily file and the listener.
void Log(const char *text, int level);

// Routes every LOG* line through Log (installs the platform sink).
void InstallFileSink();

// Attaches the receiver of every line (nullptr detaches). Start-up only.
void SetListener(LLogListener listener);
// Attaches the receiver of every line besides the listener (nullptr
// detaches). The owner detaches it before it goes.
void SetReceiver(LLogLineReceiver *receiver);

// Replaces the sleep between lock attempts (tests); nullptr restores it.
void SetLockSleeper(LLockSleepFunc sleeper);
} // namespace LLog

// Appends text to the file of that name in the log folder (call logs).
bool LLogWrite(const char *fileName, const char *text);
