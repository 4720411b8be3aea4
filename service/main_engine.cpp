#include "service/main_engine.h"

#include "platform/log.h"

#include <atomic>

namespace
{
std::atomic<MainEngine *> gInstance{nullptr};
} // namespace

MainEngine::~MainEngine()
{
    if (mRunning)
        Stop();
}

MainEngine *MainEngine::GetInstance()
{
    return gInstance.load();
}

void MainEngine::Start()
{
    if (mRunning)
        return;
    LOG("Starting telephony engine...");
    gInstance.store(this);
    StartSipEngine();
    RegisterLines();
    LOG("Starting web server...");
    StartWebServer();
    StartMaintenanceThread();
    mRunning = true;
}

void MainEngine::Stop()
{
    if (!mRunning)
        return;
    LOG("Stop web server");
    StopWebServer();
    StopMaintenanceThread();
    LOG("Stop telephony engine");
    StopCallThreads();
    StopSipEngine();
    gInstance.store(nullptr);
    mRunning = false;
}

void MainEngine::Control(int code, const void *, int)
{
    if (code == kCtlRestart)
        CtlRestart();
    else if (code == kCtlRestartWeb)
        CtlRestartWeb();
}

int MainEngine::ControlWithResult(int code, const void *, int)
{
    if (code == kCtlStopSipEngine)
        StopSipEngine();
    else if (code == kCtlStartSipEngine)
        StartSipEngine();
    return 0;
}

void MainEngine::CtlRestart()
{
    LOG("Restart telephony engine");
    RestartSipEngine();
    CtlRestartWeb();
}

void MainEngine::CtlRestartWeb()
{
    LOG("Restarting web server");
    StopWebServer();
    StartWebServer();
}

void MainEngine::LinesChanged()
{
    RegisterLines();
    RestartSipEngine();
}

void MainEngine::NewConnection()
{
    LOG("Control window connected to background service");
    LogSipStatus();
}

// The subsystems below are plugged in as they are built; until then each
// step is a no-op so that the service runs and stops in the right order.

// gSipEngine.Start(): binds the SIP port, starts receive thread and graveyard.
void MainEngine::StartSipEngine() {}
// gSipEngine.Stop(): un-registers the lines (at most 2000 ms), stops the
// graveyard, closes the socket.
void MainEngine::StopSipEngine() {}
// gSipEngine.Restart(): the socket is rebound on the engine's next pass.
void MainEngine::RestartSipEngine() {}
// gSipEngine.LogStatus().
void MainEngine::LogSipStatus() {}
// Registration of the external lines with their providers.
void MainEngine::RegisterLines() {}
// LWebControl::StartServer() / StopServer().
void MainEngine::StartWebServer() {}
void MainEngine::StopWebServer() {}
// VLMaintenanceThread.
void MainEngine::StartMaintenanceThread() {}
void MainEngine::StopMaintenanceThread() {}
// StopThreadsNow() on the owner of the call threads (LPBXSipLine).
void MainEngine::StopCallThreads() {}
