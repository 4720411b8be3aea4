// MainEngine owns the telephony side of the exchange: it starts the SIP
// engine, registers the external lines, runs the web server and the
// maintenance thread, and tears them down again in the reverse order so that
// nothing still running can reach a part already stopped. It is also the one
// place where the parts are wired together: it builds the SIP stack, the
// SDP settings and the call-control context and hands them down at
// construction, so no part falls back on a default nobody chose.
#pragma once

#include "callcontrol/pbx_context.h"
#include "callcontrol/pbx_dialog_services.h"
#include "callcontrol/pbx_new_requests.h"
#include "callcontrol/proxy_engine_transport.h"
#include "callcontrol/registrations.h"
#include "logs/sip_trace.h"
#include "media/rtp_nat_resolver.h"
#include "media/sdp_stored_settings.h"
#include "platform/clock.h"
#include "platform/ptr.h"
#include "platform/thread.h"
#include "service/background_engine.h"
#include "service/maintenance_thread.h"
#include "sip/sip_call.h"
#include "sip/sip_engine.h"
#include "sip/sip_graveyard.h"
#include "web/pages/page_context.h"
#include "web/weblet_server.h"

#include <atomic>

class LPBXSipLine;

class MainEngine : public LBackgroundEngine, private LPBXCallOwner
{
  public:
    static constexpr int kCtlRestart = 1;
    static constexpr int kCtlRestartWeb = 2;

    MainEngine();
    MainEngine(const MainEngine &) = delete;
    MainEngine &operator=(const MainEngine &) = delete;
    ~MainEngine() override;

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
    int HandleTransfer(const char *callId, LPtr<LSipCall> &leg) override;
    LSipEngine &GetSipEngine() { return mSipEngine; }

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

    bool StartCall(const LSipMessage &request, const LPBXCallStart &call) override;
    void WriteCallLog(int64_t start, int64_t answer, const char *caller,
                      const char *target) override;

    // In construction order: each part only refers to the ones above it.
    LSystemClock mClock;
    // Relays find their public ports the way the SIP socket does, sharing
    // the engine's STUN counter and backup-server state; traced RTP goes to
    // the SIP trace file.
    LSDPStoredSettings mSdpSettings{mClock,
                                    [this](LRtpPublicAddressQuery &query) {
                                        LRtpNatResolve(mSipEngine.GetStunState(), mClock, query);
                                    },
                                    LSipTraceWrite};
    // Registrations in memory, written to their records behind the answer.
    LPBXRegistrations mRegistrations;
    LPBXDialogServices mDialogServices{mSdpSettings, mClock, mRegistrations};
    LSipDialogTiming mDialogTiming;
    LSipGraveyard mGraveyard{mClock};
    LSipEngine mSipEngine{mGraveyard, mClock};
    LSipStack mSipStack{mSipEngine, mGraveyard, mClock, mDialogTiming, mDialogServices};
    LPBXRunningEnvironment mTargetEnvironment{mClock, &mRegistrations};
    LPBXContext mCallContext{mSipStack, mTargetEnvironment, mSdpSettings, *this};
    LPBXNewMessageHandler mNewRequests{mCallContext, &mRegistrations};
    // Call threads run on reused workers: a thread start per call was one of
    // the larger costs of call set-up; up to 16 wait idle between calls.
    LDetachedThreadsOwner mCallThreads{16};
    VLMaintenanceThread mMaintenance;
    // SUBSCRIBE, NOTIFY and unclaimed responses pass through statelessly.
    LPBXEngineProxyTransport mProxyTransport;
    LPBXStatelessProxy mProxy{mProxyTransport, mClock, &mRegistrations};
    LWebPageContext mPageContext;
    LWebletServer mWebServer;
    // Between Start and Stop: INVITEs become calls.
    std::atomic<bool> mStarted{false};
    bool mRunning = false;
};
