// The monthly call log: one CSV line per finished call in
// "YYYY-MM Phone Log.csv" of the month the call started, plus the optional
// row in the ODBC call-log table. The call thread fills an LCallLogEntry when
// the call ends and hands it to LCallLogWrite.
#pragma once

#include <cstddef>
#include <ctime>

// A call-log line is at most this long, its CR LF included.
constexpr size_t kCallLogLineMax = 259;
constexpr size_t kCallLogPartySize = 260;

struct LCallLogEntry {
    time_t start = 0;  // call start, seconds since 1970
    time_t answer = 0; // answer time; 0 when never answered
    time_t end = 0;    // end of the call; 0 means "now" when written
    char from[kCallLogPartySize] = {};
    char to[kCallLogPartySize] = {};
};

// Fills an entry; from and to are cut at 259 bytes.
void LCallLogEntrySet(LCallLogEntry &entry, time_t start, time_t answer, const char *from,
                      const char *to);

// Total and talk seconds of a call ending at end (never negative; talk is 0
// when never answered).
long LCallLogTotalSeconds(const LCallLogEntry &entry, time_t end);
long LCallLogTalkSeconds(const LCallLogEntry &entry, time_t end);

// "MM:SS" with at least two digits of minutes (6000 s gives "100:00").
void LCallLogFormatDuration(char *out, size_t size, long seconds);

// The CSV line of a call ending at end, from the local start time:
// date,time,total,talk,"from","to" CR LF. Control characters of from and to
// are dropped so a party name cannot start a line of its own; when the line
// would pass kCallLogLineMax the from and to texts are shortened, so the line
// always ends in CR LF. out holds at least kCallLogLineMax + 1 bytes.
size_t LCallLogFormatLine(char *out, size_t size, const LCallLogEntry &entry, time_t end);

// "%.4d-%.2d Phone Log.csv" of the local month of start.
void LCallLogFileName(char *out, size_t size, time_t start);

// Appends text to "%.4d-%.2d <name>" (local year and month of time) in the
// log folder.
bool LLogMonthlyWrite(time_t time, const char *name, const char *text);

// The hand-over from the call thread when a call ends: logs "Call %s -> %s
// disconnected", appends the call-log line and, when "DBLog"/"Enabled",
// inserts the row through the "SQL" template. Never fails the caller; the
// result says whether the line reached the file.
bool LCallLogWrite(const LCallLogEntry &entry);
