#include "service/stop_signals.h"

#include "platform/log.h"

#include <csignal>
#include <pthread.h>

void LBlockAllSignals()
{
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

void LStopSignalThread::Start(StopFunc stop, void *context)
{
    mThread = std::thread([stop, context] {
        sigset_t wanted;
        sigemptyset(&wanted);
        sigaddset(&wanted, SIGTERM);
        sigaddset(&wanted, SIGINT);
        int received = 0;
        while (sigwait(&wanted, &received) != 0) {
        }
        LOGF("Received %s, stopping service", received == SIGINT ? "SIGINT" : "SIGTERM");
        stop(context);
    });
}

void LStopSignalThread::Join()
{
    if (mThread.joinable())
        mThread.join();
}
