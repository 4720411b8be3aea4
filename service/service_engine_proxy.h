// The desktop window's view of the engine: requests go over the control
// channel to the background service while one can be reached (reconnecting
// every 100 ms after a loss); when none can be reached at start, the window
// runs the engine in its own process and the same calls go straight to it.
// Before falling back it starts the system service through script.
#pragma once

#include "platform/log.h"
#include "platform/thread.h"
#include "service/background_engine.h"
#include "service/control_window_link.h"
#include "service/service_script.h"

#include <atomic>
#include <memory>
#include <string>
#include <unistd.h>

template <class TEngine> class LServiceEngineProxy : public LThread, public LEngineNotifyHandler
{
  public:
    // script null: no system service to start (the fallback follows at once).
    LServiceEngineProxy(std::string path, LControlWindowSink &sink,
                        LServiceScript *script = nullptr)
        : m_path(std::move(path)), m_sink(sink), m_link(sink), m_script(script)
    {
    }
    ~LServiceEngineProxy() override { Stop(); }

    // True when connected to the service, false when running in foreground.
    bool Start()
    {
        Stop();
        if (m_link.Connect(m_path.c_str()) || (StartService() && m_link.IsConnected())) {
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
    // The desktop changed the account the service runs under: the service
    // is restarted by the next ApplyAnySettingsChanged.
    void MarkServiceAccountChanged() { m_accountChanged.store(true); }
    void ApplyAnySettingsChanged()
    {
        if (!m_accountChanged.exchange(false))
            return;
        Stop();
        if (m_script) {
            m_script->Run("stop");
            if (!m_script->Run("start"))
                m_sink.ShowError("Attempt to restart service failed. It is possible the service "
                                 "account details are wrong.");
        }
        Start();
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
    // The service makes its socket a moment after its start command returns.
    bool StartService()
    {
        if (!m_script || !m_script->Run("start"))
            return false;
        for (int i = 0; i < 50 && !m_link.Connect(m_path.c_str()); i++)
            usleep(100 * 1000);
        return true;
    }

    std::string m_path;
    LControlWindowSink &m_sink;
    LControlWindowLink m_link;
    LServiceScript *m_script;
    std::atomic<bool> m_accountChanged{false};
    std::unique_ptr<TEngine> m_engine;
};
