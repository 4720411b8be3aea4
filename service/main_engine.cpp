#include "service/main_engine.h"

#include "callcontrol/pbx_sip_line.h"
#include "callcontrol/pbx_sip_line_start.h"
#include "config/settings.h"
#include "logs/call_log.h"
#include "logs/sip_trace.h"
#include "platform/log.h"
#include "service/web_script_table.h"
#include "web/pages/control_pages.h"

#include <atomic>

namespace
{
void TraceSipPacket(bool sent, const LIPAddressWithPort &peer, const char *bytes, size_t length)
{
    if (!LSipTraceIsOn())
        return;
    char address[64];
    peer.ToString(address);
    LSipTraceUdpPacket(sent, address, bytes, length);
}

} // namespace

MainEngine::MainEngine() : mProxyTransport(mSipEngine)
{
    LSipEngineSettings settings;
    settings.getInt = LSettingGetInt;
    settings.getBool = LSettingGetBool;
    settings.getString = LSettingGetString;
    settings.setBool = LSettingSetBool;
    settings.trace = TraceSipPacket;
    mSipEngine.SetSettings(settings);
    mSipEngine.SetNewMessageHandler(&mNewRequests);
    mSipEngine.SetSubscribeHandler(&mProxy);
}

// Runs on the SIP engine's receive thread for every accepted INVITE. While
// the engine is not running nothing is sent.
bool MainEngine::StartCall(const LSipMessage &request, const LPBXCallStart &call)
{
    if (!mStarted.load())
        return true;
    if (LPBXSipLine *line = LPBXMakeCall(mCallContext, request, call, GetCallCount()))
        StartLine(line);
    return true;
}

void MainEngine::WriteCallLog(int64_t start, int64_t answer, const char *caller, const char *target)
{
    LCallLogEntry entry;
    LCallLogEntrySet(entry, (time_t)start, (time_t)answer, caller, target);
    LCallLogWrite(entry);
}

MainEngine::~MainEngine()
{
    if (mRunning)
        Stop();
}

void MainEngine::Start()
{
    if (mRunning)
        return;
    LOG("Starting telephony engine...");
    mStarted.store(true);
    mCallThreads.Reopen();
    LSipTraceStart();
    mRegistrations.Start();
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
    // Nothing registers any more: what the registrar acknowledged goes to
    // the records before the process may end.
    mRegistrations.Stop();
    LSipTraceClose();
    mStarted.store(false);
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
    mSipEngine.Start();
}
// Un-registers the lines (at most 2000 ms), stops the graveyard, closes the
// socket.
void MainEngine::StopSipEngine()
{
    mSipEngine.Stop();
}
// The socket is rebound on the engine's next pass.
void MainEngine::RestartSipEngine()
{
    mSipEngine.Restart();
}
void MainEngine::LogSipStatus()
{
    mSipEngine.LogStatus();
}
// The control panel: the full script table, static files seeded into the
// program folder on first start.
void MainEngine::StartWebServer()
{
    mPageContext.lineStatus = &mSipEngine.GetLineStatusSource();
    // A saved or deleted external line re-registers the lines.
    mPageContext.linesChanged = [this] { LinesChanged(); };
    mPageContext.contacts = &mRegistrations;
    VLStartWebServer(mWebServer, 0, &mPageContext);
}
void MainEngine::StopWebServer()
{
    mWebServer.Stop();
}
// Log clean-up and install on demand, once a minute.
void MainEngine::StartMaintenanceThread()
{
    mMaintenance.Start();
}
void MainEngine::StopMaintenanceThread()
{
    mMaintenance.Stop();
}
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
