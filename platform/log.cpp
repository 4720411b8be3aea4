#include "platform/log.h"

#include "platform/log_escape.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace
{
constexpr int kMaxLine = 512; // 511 characters and the terminator

void StderrSink(int level, const char *text)
{
    static const char *const names[] = {"", "ERROR: ", "WARNING: ", "INFO: "};
    std::fprintf(stderr, "%s%s\n", (level >= 0 && level <= 3) ? names[level] : "", text);
}

std::atomic<LLogSink> gSink{nullptr};
std::atomic<bool> gEcho{false};
} // namespace

namespace LLog
{
void SetSink(LLogSink sink)
{
    gSink.store(sink);
}
void SetEcho(bool on)
{
    gEcho.store(on);
}

void Write(int level, const char *text)
{
    if (!text)
        text = "";
    std::string escaped;
    for (const char *p = text; *p; p++)
        if ((unsigned char)*p < 0x20 || *p == 0x7f) {
            escaped = LLogEscape(text);
            text = escaped.c_str();
            break;
        }
    LLogSink sink = gSink.load();
    if (!sink) {
        StderrSink(level, text);
        return;
    }
    sink(level, text);
    if (gEcho.load())
        StderrSink(level, text);
}

void WriteNumber(int level, const char *text, long number)
{
    WriteF(level, "%s%ld", text ? text : "", number);
}

void WriteText(int level, const char *text, const char *more)
{
    WriteF(level, "%s%s", text ? text : "", more ? more : "");
}

void WriteV(int level, const char *format, va_list args)
{
    char line[kMaxLine];
    std::vsnprintf(line, sizeof line, format, args);
    Write(level, line);
}

void WriteF(int level, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    WriteV(level, format, args);
    va_end(args);
}
} // namespace LLog
