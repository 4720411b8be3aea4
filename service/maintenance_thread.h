// The service's low-priority housekeeping: once a minute it deletes log files
// older than "Logs"/"AutoDeleteDays" (at most once per 80000 s of running)
// and answers the control panel's request to install the companion call
// recorder. Owned by MainEngine, started last and stopped first after the web
// server.
#pragma once

#include "platform/signal.h"
#include "platform/thread.h"

#include <ctime>

class VLMaintenanceThread : public LThread
{
  public:
    ~VLMaintenanceThread() override { StopThreadNow(); }

    void Start() { LThread::Start(StartLow); }
    void Stop() { StopThreadNow(); }
    // Runs the next pass now instead of at the end of the minute.
    void Wake() { m_wake.Signal(); }

    // One pass as the thread runs it, at now (seconds since 1970).
    void RunPass(time_t now);

  protected:
    void ThreadFunction() override;

  private:
    // The first pass cleans at once.
    time_t m_lastCleanUp = 0;
    bool m_cleanedOnce = false;
    LSignalObject m_wake;
};

// Install on demand of a companion component: when "Install"/settingKey is
// set and the component is not in the program's "components" folder, logs
// that the automatic download failed (it is disabled: nothing is fetched and
// no downloaded code is ever run) with the manual download address, and
// clears the setting in either case. True when the component is present.
bool VLInstallComponent(const char *displayName, const char *componentName, const char *manualUrl,
                        const char *settingKey);
