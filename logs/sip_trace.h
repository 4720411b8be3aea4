// The SIP trace: while switched on, every SIP packet sent or received (and,
// with the RTP switch, every RTP packet) is written to the daily file
// "20YY-MM-DD Vela SipTrace.txt" of the log folder. A trace file is started
// afresh whenever it is opened: at the first entry after start, after the
// trace is switched on again, and at midnight.
#pragma once

#include <cstddef>
#include <cstdint>

// "20%.2d-%.2d-%.2d Vela SipTrace.txt" of the local date of t.
void LSipTraceFileName(char *out, size_t size, long t);

// One entry: the "HH:MM:SS " prefix of the local time, then text.
void LSipTraceWrite(const char *text);
// Bytes without a prefix (the body of a packet entry).
void LSipTraceWriteRawText(const char *bytes, size_t length);

bool LSipTraceIsOn();
bool LSipTraceIsRtpOn();
// The setters also store "Settings"/"SipTraceOn" and "SipTraceAudioOn".
// Switching the trace off closes its file.
void LSipTraceSetOn(bool on);
void LSipTraceSetRtpOn(bool on);
// Reads both switches from the settings and routes the relay's trace lines
// into this file. Called once at start-up.
void LSipTraceStart();
// Closes the file (service stop).
void LSipTraceClose();

// The transport's packet entry: header line, raw message, separator. The
// caller checks LSipTraceIsOn() before composing the address text.
void LSipTraceUdpPacket(bool sent, const char *address, const char *bytes, size_t length);

struct LSipTraceRtpPacket {
    bool sent;
    const char *address; // "a.b.c.d:port"
    bool marker;
    int payload_type;
    int sequence;
    uint32_t timestamp;
    uint32_t ssrc;
    int size;
};
// One line per RTP packet of the exchange's own endpoint (checked by the
// caller with LSipTraceIsRtpOn()).
void LSipTraceRtp(const LSipTraceRtpPacket &packet);
// One line per relayed packet.
void LSipTraceRtpRelay(const char *from, const char *to, int bytes);
