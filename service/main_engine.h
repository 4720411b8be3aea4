// MainEngine owns the telephony side of the exchange: it starts the SIP
// engine, registers the external lines, runs the web server and the
// maintenance thread, and tears them down again in the reverse order so that
// nothing still running can reach a part already stopped.
#pragma once

#include "callcontrol/proxy_engine_transport.h"
#include "platform/ptr.h"
#include "platform/thread.h"
#include "service/background_engine.h"
#include "service/maintenance_thread.h"

class LPBXSipLine;
class LSipCall;

class MainEngine : public LBackgroundEngine
{
  public:
    static constexpr int kCtlRestart = 1;
    static constexpr int kCtlRestartWeb = 2;

    MainEngine();
    MainEngine(const MainEngine &) = delete;
    MainEngine &operator=(const MainEngine &) = delete;
    ~MainEngine() override;

    // The running engine, or null while none is started.
    static MainEngine *GetInstance();

    void Start();
    void Stop();
    bool IsRunning() const { return mRunning; }

    void Control(int code, const void *data, int size) override;
    int ControlWithResult(int code, const void *data, int size) override;

    void CtlRestart();
    void CtlRestartWeb();
    // The external lines were changed: register them anew, rebind SIP.
    void LinesChanged();
    // A desktop window connected to the service.
    void NewConnection();
    // Starts a call thread at normal priority; the engine owns it from here
    // and the thread deletes itself when its call is over.
    void StartLine(LPBXSipLine *line);
    int GetCallCount() { return mCallThreads.GetCount(); }
    // Attended transfer: asks every running call thread in turn to take leg
    // in exchange for its dialog with callId. 1 as soon as one did; else -1
    // when one was busy, 0 when none holds the dialog.
    int HandleTransfer(const char *callId, LPtr<LSipCall> &leg);

  private:
    // Each step below is the single place where its subsystem is plugged in.
    void StartSipEngine();
    void StopSipEngine();
    void RestartSipEngine();
    void LogSipStatus();
    void RegisterLines();
    void StartWebServer();
    void StopWebServer();
    void StartMaintenanceThread();
    void StopMaintenanceThread();
    void StopCallThreads();

    LDetachedThreadsOwner mCallThreads;
    VLMaintenanceThread mMaintenance;
    // SUBSCRIBE, NOTIFY and unclaimed responses pass through statelessly.
    LPBXEngineProxyTransport mProxyTransport;
    LPBXStatelessProxy mProxy{mProxyTransport};
    bool mRunning = false;
};
