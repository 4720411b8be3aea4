// Program log front end: the LOG* macros every layer uses. The daily log file
// writer lives in logs/ and installs itself as the sink; until then (and in
// unit tests) lines go to stderr.
#pragma once

#include <cstdarg>

// Levels as the desktop window shows them.
enum LLogLevel : int {
    LLogPlain = 0,
    LLogError = 1,
    LLogWarning = 2,
    LLogInfo = 3,
};

// A sink receives every finished line (at most 511 characters, no line end).
using LLogSink = void (*)(int level, const char *text);

namespace LLog
{
// Installs the sink (nullptr restores stderr). Not thread-safe against lines
// being written: call it during start-up or shutdown only.
void SetSink(LLogSink sink);
// Also copy every line to stderr (the -foreground mode).
void SetEcho(bool on);
void Write(int level, const char *text);
void WriteNumber(int level, const char *text, long number);
void WriteText(int level, const char *text, const char *more);
void WriteF(int level, const char *format, ...) __attribute__((format(printf, 2, 3)));
void WriteV(int level, const char *format, va_list args);
} // namespace LLog

#define LOG(text) LLog::Write(LLogPlain, (text))
#define LOGINFO(text) LLog::Write(LLogInfo, (text))
#define LOGWARN(text) LLog::Write(LLogWarning, (text))
#define LOGERROR(text) LLog::Write(LLogError, (text))
#define LOGNUM(text, n) LLog::WriteNumber(LLogPlain, (text), (long)(n))
#define LOGINFONUM(text, n) LLog::WriteNumber(LLogInfo, (text), (long)(n))
#define LOGWARNNUM(text, n) LLog::WriteNumber(LLogWarning, (text), (long)(n))
#define LOGERRORNUM(text, n) LLog::WriteNumber(LLogError, (text), (long)(n))
#define LOGTEXT(text, more) LLog::WriteText(LLogPlain, (text), (more))
#define LOGINFOTEXT(text, more) LLog::WriteText(LLogInfo, (text), (more))
#define LOGWARNTEXT(text, more) LLog::WriteText(LLogWarning, (text), (more))
#define LOGERRORTEXT(text, more) LLog::WriteText(LLogError, (text), (more))
#define LOGF(...) LLog::WriteF(LLogPlain, __VA_ARGS__)
#define LOGINFOF(...) LLog::WriteF(LLogInfo, __VA_ARGS__)
#define LOGWARNF(...) LLog::WriteF(LLogWarning, __VA_ARGS__)
#define LOGERRORF(...) LLog::WriteF(LLogError, __VA_ARGS__)
#define SIPLOG(text) LLog::Write(LLogPlain, (text))
#define SIPLOGERROR(text) LLog::Write(LLogError, (text))
#define SIPLOGF(...) LLog::WriteF(LLogPlain, __VA_ARGS__)
#define SIPLOGERRORF(...) LLog::WriteF(LLogError, __VA_ARGS__)
