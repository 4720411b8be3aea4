// The RTP trace switch. The trace file belongs to the logs; traced lines go
// to the writer the media context (LSDPSettings) supplies.
#pragma once

class LSDPSettings;

using LRtpTraceWriter = void (*)(const char *line);

void LRtpTraceSetEnabled(bool on);
bool LRtpTraceIsEnabled();
// Formats one line and hands it to media's trace writer.
void LRtpTraceWrite(LSDPSettings &media, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
