// Timers of a connected call. The service keeps the defaults; the "SIP"
// settings "ActivityPollInterval" and "AttendedTransferGiveUp"
// (milliseconds, at least 1000) shorten the quiet time before both legs are
// polled and the wait for a busy call in an attended transfer, which tests
// use.
#pragma once

#include <cstdint>

struct LPBXInCallTiming {
    // Both legs are polled after this long without any message.
    uint32_t pollAfterMs = 60000;
    // An attended transfer asks the other call again this often while it
    // is busy, and gives up after swapGiveUpMs.
    uint32_t swapRetryMs = 200;
    uint32_t swapGiveUpMs = 30000;
    // Glare back-off (RFC 3261 section 14.1): a random part below
    // glareRandomMs plus a base that depends on who opened the dialog.
    uint32_t glareRandomMs = 250;
    uint32_t glareReceivedBaseMs = 550;
    uint32_t glareOpenedBaseMs = 50;
    uint32_t glareSlackMs = 10;
};
inline constexpr LPBXInCallTiming kPBXInCallTiming{};

// The quiet time before polling, from the settings; the key, and the value
// as read (at least 1000 ms) when a call reads it with its other values.
inline constexpr const char *kPBXActivityPollKey = "ActivityPollInterval";
uint32_t LPBXActivityPollInterval();
uint32_t LPBXInCallMs(int ms);
// How long an attended transfer waits for a busy call, from the settings.
uint32_t LPBXAttendedTransferGiveUp();

// Glare back-off for a dialog: 550 to 799 ms when the far end opened it,
// 50 to 299 ms when the exchange did, the random part taken from tick.
uint32_t LPBXGlareWaitMs(bool openedByFarEnd, uint32_t tick);
