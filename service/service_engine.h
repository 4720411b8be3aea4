// The background service: owns the main engine, serves control connections
// from desktop windows on the main thread, and stops everything in order when
// asked to. One instance per process.
#pragma once

#include "config/folders.h"
#include "logs/program_log.h"
#include "platform/lock.h"
#include "service/background_engine.h"
#include "service/control_channel.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <string>

template <class TEngine> class LServiceEngine : public LEngineNotifyHandler, private LControlWaker
{
  public:
    LServiceEngine() = default;
    ~LServiceEngine() override { Stop(); }
    LServiceEngine(const LServiceEngine &) = delete;
    LServiceEngine &operator=(const LServiceEngine &) = delete;

    TEngine &GetEngine() { return mEngine; }

    // Accepts desktop windows on the control channel of that pipe name,
    // ".spipe.<name>" in the shared data folder, and sends them every
    // program log line from now on. False when another service already
    // answers there: it serves this program folder, and a second service
    // would share its settings and register its lines a second time.
    bool StartPipeListener(const char *pipeName)
    {
        char folder[LPathSize];
        LGetFolder(LFolder::SharedData, folder);
        LCreateFolder(folder);
        std::string path = std::string(folder) + "/.spipe." + pipeName;
        LControlChannel::OpenResult opened = mChannel.Open(path.c_str());
        if (opened == LControlChannel::OpenResult::Taken) {
            LOGERRORTEXT("Another service already runs from this program folder; its control "
                         "channel answers at ",
                         path.c_str());
            return false;
        }
        if (opened == LControlChannel::OpenResult::Opened)
            LLog::SetReceiver(&mChannel);
        return true;
    }

    void StartEngine()
    {
        mEngine.SetNotifyHandler(this);
        mEngine.Start();
    }

    // Serves the main thread until Stop has run (the process then exits).
    void Wait()
    {
        mMainThread = pthread_self();
        for (;;) {
            std::unique_lock<std::mutex> wake(mWakeLock);
            mWakeCondition.wait(wake, [this] { return mWake || mStopped; });
            mWake = false;
            if (mStopped)
                return;
            wake.unlock();
            if (mNewConnection.exchange(false))
                mEngine.NewConnection();
            LLockScope list(mConnectionLock);
            HandlePendingMessages();
        }
    }

    // The stop sequence; safe to call from any thread but the one in Wait,
    // and more than once (only the first call does anything).
    void Stop()
    {
        if (mStopping.exchange(true))
            return;
        StopPipeListener();
        StopControlConnections();
        mEngine.SetNotifyHandler(nullptr);
        mEngine.Stop();
        std::lock_guard<std::mutex> wake(mWakeLock);
        mStopped = true;
        mWakeCondition.notify_all();
    }

    // Called by a connection thread when a window connected.
    void SignalNewConnection()
    {
        mNewConnection.store(true);
        Wake();
    }

    void Wake()
    {
        std::lock_guard<std::mutex> wake(mWakeLock);
        mWake = true;
        mWakeCondition.notify_all();
    }

    void EvEngineNotify(int code, const void *data, int size) override
    {
        mChannel.Notify(code, data, size);
    }

  private:
    void ControlRequestPending() override { Wake(); }
    void ControlWindowConnected() override { SignalNewConnection(); }
    void StopPipeListener() { LLog::SetReceiver(nullptr); }
    void StopControlConnections() { mChannel.Close(); }
    // Each connection's pending request, on the main thread (list lock held).
    void HandlePendingMessages() { mChannel.HandlePending(mEngine); }

    TEngine mEngine;
    LControlChannel mChannel{*this};
    LLockObject mConnectionLock; // the connection list; held while handling
    LLockObject mSendLock;       // anything written to a connection
    std::mutex mWakeLock;
    std::condition_variable mWakeCondition;
    bool mWake = false;
    bool mStopped = false;
    std::atomic<bool> mStopping{false};
    std::atomic<bool> mNewConnection{false};
    pthread_t mMainThread{};
};
