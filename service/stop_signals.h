// Termination without signal handlers: every signal stays blocked in every
// thread (the mask is set before any thread exists and inherited), and one
// dedicated thread takes SIGTERM and SIGINT with sigwait and runs the stop
// sequence as ordinary code, free to take locks and join threads.
#pragma once

#include <thread>

// Blocks every signal in the calling thread; call first thing in main.
void LBlockAllSignals();

class LStopSignalThread
{
  public:
    using StopFunc = void (*)(void *context);

    LStopSignalThread() = default;
    ~LStopSignalThread() { Join(); }
    LStopSignalThread(const LStopSignalThread &) = delete;
    LStopSignalThread &operator=(const LStopSignalThread &) = delete;

    // Waits on its own thread for SIGTERM or SIGINT, then logs which one came
    // and calls stop(context) once.
    void Start(StopFunc stop, void *context);
    void Join();

  private:
    std::thread mThread;
};
