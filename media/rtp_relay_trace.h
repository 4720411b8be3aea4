// The RTP trace switch. The trace file belongs to the logs; until it installs
// a writer, traced lines go to the program log.
#pragma once

using LRtpTraceWriter = void (*)(const char *line);

void LRtpTraceSetEnabled(bool on);
bool LRtpTraceIsEnabled();
void LRtpTraceSetWriter(LRtpTraceWriter writer); // nullptr: the program log
void LRtpTraceWrite(const char *format, ...) __attribute__((format(printf, 1, 2)));
