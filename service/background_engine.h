// The engine side of the control channel: control codes from a desktop
// window come in through Control/ControlWithResult, and engine events go out
// to whoever listens (the service engine forwards them to every window).
#pragma once

#include <atomic>

class LEngineNotifyHandler
{
  public:
    virtual ~LEngineNotifyHandler() = default;
    virtual void EvEngineNotify(int code, const void *data, int size) = 0;
};

class LBackgroundEngine
{
  public:
    // Codes a window sends with ControlWithResult to switch the SIP engine.
    static constexpr int kCtlStopSipEngine = 0x1000001;
    static constexpr int kCtlStartSipEngine = 0x1000002;

    virtual ~LBackgroundEngine() = default;
    virtual void Control(int code, const void *data, int size) = 0;
    virtual int ControlWithResult(int code, const void *data, int size) = 0;

    void SetNotifyHandler(LEngineNotifyHandler *handler) { mNotifyHandler.store(handler); }

  protected:
    void Notify(int code, const void *data, int size)
    {
        if (LEngineNotifyHandler *handler = mNotifyHandler.load())
            handler->EvEngineNotify(code, data, size);
    }

  private:
    std::atomic<LEngineNotifyHandler *> mNotifyHandler{nullptr};
};
