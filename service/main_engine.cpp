#include "service/main_engine.h"

#include "callcontrol/pbx_new_requests.h"
#include "callcontrol/pbx_sip_line.h"
#include "callcontrol/pbx_sip_line_hooks.h"
#include "callcontrol/pbx_sip_line_start.h"
#include "config/settings.h"
#include "platform/log.h"
#include "sip/sip_engine.h"

#include <atomic>

namespace
{
std::atomic<MainEngine *> gInstance{nullptr};

// Runs on the SIP engine's receive thread for every accepted INVITE. While
// the engine is not running nothing is sent.
bool StartCallThread(const LSipMessage &request, const LPBXCallStart &call)
{
    MainEngine *engine = gInstance.load();
    if (!engine)
        return true;
    if (LPBXSipLine *line = LPBXMakeCall(request, call, engine->GetCallCount()))
        engine->StartLine(line);
    return true;
}

int TransferToRunningCall(const char *callId, LPtr<LSipCall> &leg)
{
    MainEngine *engine = gInstance.load();
    return engine ? engine->HandleTransfer(callId, leg) : 0;
}
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
    LPBXSetTransferHandler(TransferToRunningCall);
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

// Binds the SIP port and starts the receive thread and the graveyard. The
// engine reads its settings and hands new requests up through what is
// installed here, since the SIP stack sits below settings and call control.
void MainEngine::StartSipEngine()
{
    LSipEngineSettings settings;
    settings.getInt = LSettingGetInt;
    settings.getBool = LSettingGetBool;
    settings.getString = LSettingGetString;
    gSipEngine.SetSettings(settings);
    gSipEngine.SetNewMessageHandler(&gPBXNewMessageHandler);
    LPBXSetCallStarter(StartCallThread);
    gSipEngine.Start();
}
// Un-registers the lines (at most 2000 ms), stops the graveyard, closes the
// socket.
void MainEngine::StopSipEngine()
{
    gSipEngine.Stop();
}
// The socket is rebound on the engine's next pass.
void MainEngine::RestartSipEngine()
{
    gSipEngine.Restart();
}
void MainEngine::LogSipStatus()
{
    gSipEngine.LogStatus();
}
// Registration of the external lines with their providers.
void MainEngine::RegisterLines() {}
// LWebControl::StartServer() / StopServer().
void MainEngine::StartWebServer() {}
void MainEngine::StopWebServer() {}
// VLMaintenanceThread.
void MainEngine::StartMaintenanceThread() {}
void MainEngine::StopMaintenanceThread() {}
void MainEngine::StartLine(LPBXSipLine *line)
{
    mCallThreads.StartThread(line, LThread::StartNormal);
}
// Every call thread is asked to stop at once; a caller still waiting gets
// 503 "Service Unavailable", connected calls are ended by the graveyard.
int MainEngine::HandleTransfer(const char *callId, LPtr<LSipCall> &leg)
{
    LLockScope scope(mCallThreads.GetLock());
    int result = 0;
    for (LListIterator it(mCallThreads.GetThreads()); it.Get(); it.Next()) {
        int answer = static_cast<LPBXSipLine *>(it.Get())->HandleTransfer(callId, leg);
        if (answer == 1)
            return 1;
        if (answer == -1)
            result = -1;
    }
    return result;
}

void MainEngine::StopCallThreads()
{
    mCallThreads.StopThreadsNow();
}
