// The desktop window's view of the engine: requests go over the control
// channel to the background service while one can be reached (reconnecting
// every 100 ms after a loss); when none can be reached at start, the window
// runs the engine in its own process and the same calls go straight to it.
#pragma once

#include "platform/log.h"
#include "platform/thread.h"
#include "service/background_engine.h"
#include "service/control_window_link.h"

#include <memory>
#include <string>

template <class TEngine> class LServiceEngineProxy : public LThread, public LEngineNotifyHandler
{
  public:
    LServiceEngineProxy(std::string path, LControlWindowSink &sink)
        : m_path(std::move(path)), m_sink(sink), m_link(sink)
    {
    }
    ~LServiceEngineProxy() override { Stop(); }

    // True when connected to the service, false when running in foreground.
    bool Start()
    {
        Stop();
        if (m_link.Connect(m_path.c_str())) {
            LThread::Start(StartLow);
            return true;
        }
        LOGERROR("Unable to start the background service! Will attempt to run in foreground.");
        m_engine = std::make_unique<TEngine>();
        m_engine->SetNotifyHandler(this);
        m_engine->Start();
        return false;
    }
    void Stop()
    {
        StopThreadNow();
        m_link.Disconnect();
        if (m_engine) {
            m_engine->Stop();
            m_engine->SetNotifyHandler(nullptr);
            m_engine.reset();
        }
    }

    void Control(int code, const void *data = nullptr, int size = 0)
    {
        if (m_engine)
            m_engine->Control(code, data, size);
        else
            m_link.Send(LControl::TypeControl, code, data, size);
    }
    // 0 when the service did not answer within 10000 ms.
    int ControlWithResult(int code, const void *data = nullptr, int size = 0)
    {
        if (m_engine)
            return m_engine->ControlWithResult(code, data, size);
        return m_link.SendWithResult(code, data, size);
    }
    bool IsServiceStarted() const { return m_link.IsConnected() || m_engine; }
    bool IsForeground() const { return m_engine != nullptr; }

    void EvEngineNotify(int code, const void *data, int size) override
    {
        m_sink.EngineNotify(code, data && size > 0
                                      ? std::string(static_cast<const char *>(data), size)
                                      : std::string());
    }

  protected:
    void ThreadFunction() override
    {
        while (!IsToStop()) {
            if (m_link.IsConnected())
                m_link.ReceiveOne(GetStopSignal().GetHandle());
            else if (!m_link.Connect(m_path.c_str()))
                Wait(100);
        }
    }

  private:
    std::string m_path;
    LControlWindowSink &m_sink;
    LControlWindowLink m_link;
    std::unique_ptr<TEngine> m_engine;
};
