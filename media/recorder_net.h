// Blocking TCP steps of the recorder client, bounded in time and cut short
// by the thread's stop request where that is wanted.
#pragma once

#include "platform/thread.h"
#include "platform/types.h"

#include <cstdint>
#include <string>

// Connects to "host" or "host:port", trying every IPv4 address of the host
// within ms. Gives the descriptor, or -1 with result stopped or failed.
int LRecorderConnect(LThread &thread, const std::string &entry, int defaultPort, uint32_t ms,
                     LProcessResult &result);
// Sends all bytes within ms; false on time-out or error, and on a stop
// request of stopOn when given. Audio frames pass none: the client sends
// its last frames after being told to stop.
bool LRecorderSendAll(int fd, const void *data, int length, uint32_t ms, LThread *stopOn = nullptr);
// Reads exactly length bytes within ms; false on time-out, close or error,
// and on a stop request of stopOn when given.
bool LRecorderReceiveAll(int fd, void *data, int length, uint32_t ms, LThread *stopOn = nullptr);
