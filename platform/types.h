// Small types and sizes shared by every layer.
#pragma once

#include <cstdint>

// Result of every step that can be stopped or run out of time.
enum LProcessResult : int {
    LProcessSuccess = 0,
    LProcessStopped = 1, // a stop request or a user's cancel
    LProcessFailed = 2,  // errors and time-outs
};

// Sizes of the fixed character arrays most texts live in (usable length is
// one less: the terminator).
constexpr int LShortTextSize = 32;
constexpr int LTextSize = 128;
constexpr int LLongTextSize = 260;
constexpr int LMaxPathSize = 260; // paths are at most 259 characters

// A process operation must look at its stop test at least this often.
constexpr uint32_t LProcessPollMs = 200;

// Wait forever (for the waits that take milliseconds).
constexpr uint32_t LWaitForever = 0xFFFFFFFFu;
