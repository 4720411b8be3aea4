// Appending to shared files under an exclusive advisory lock. Several
// processes (the service, the desktop window, tools) append to the same log
// files, so every append takes flock(LOCK_EX) first; a lock that stays busy
// is given up after a bounded wait and the data is written anyway, because a
// log line must never be lost or block a call thread for long.
#pragma once

#include <cstddef>

// Sleeps for the given number of milliseconds; replaceable so that tests can
// observe the back-off without waiting for it.
using LLockSleepFunc = void (*)(int ms);

// Back-off between lock attempts: 16, 32, 64, 128 and 256 ms. The next step
// (512 ms) would reach the 500 ms budget, so the attempt after 256 ms is the
// last one.
constexpr int kLockFirstSleepMs = 16;
constexpr int kLockBudgetMs = 500;

// Tries flock(fd, LOCK_EX | LOCK_NB), sleeping between attempts as above.
// Returns whether the lock is held. Interrupted calls are retried at once.
bool LLockFileExclusive(int fd, LLockSleepFunc sleeper);

// Opens path for appending (creating it with mode 0666 before the umask),
// takes the exclusive lock (or gives up as above), writes all bytes at the end
// and closes the file. Returns false only when the file could not be opened
// or not everything was written (errno says why); a line the disk took only
// part of is cut off again when the lock was held.
bool LAppendToFile(const char *path, const char *data, size_t length, LLockSleepFunc sleeper);

// The same on a descriptor opened with O_APPEND that stays open: lock (or
// give up as above), write all bytes at the end, unlock.
bool LAppendToOpenFile(int fd, const char *data, size_t length, LLockSleepFunc sleeper);

// The real sleep used outside tests.
void LLockSleepMs(int ms);
