#include "config/folders.h"
#include "logs/program_log.h"
#include "service/main_engine.h"
#include "service/process_start.h"
#include "service/service_engine.h"
#include "service/stop_signals.h"

#include <cerrno>
#include <unistd.h>

namespace
{
using VLService = LServiceEngine<MainEngine>;

void StopService(void *service)
{
    static_cast<VLService *>(service)->Stop();
}

// Tells the waiting parent that the engine runs; it exits on reading this.
void ReportStarted(int fd)
{
    if (fd < 0)
        return;
    static const char kStarted[] = "started";
    ssize_t n;
    do {
        n = write(fd, kStarted, sizeof kStarted - 1);
    } while (n < 0 && errno == EINTR);
    close(fd);
}

void OpenProgramLog(bool foreground)
{
    char folder[LPathSize];
    LGetFolder(LFolder::Logs, folder);
    bool made = LLog::SetLogFolder(folder);
    LLog::InstallFileSink();
    LLog::SetEcho(foreground);
    if (!made)
        LOGERRORTEXT("Unable to create the log folder ", folder);
}
} // namespace

int VLRunService(int reportFd, bool foreground)
{
    OpenProgramLog(foreground);
    VLService service;
    if (!service.StartPipeListener("velad"))
        return 1;
    service.StartEngine();
    ReportStarted(reportFd);
    LOGF("Service started, process %d", static_cast<int>(getpid()));

    // Started only now: a signal that arrived during start-up stays pending
    // (it is blocked) and is taken here, so Stop never overlaps Start.
    LStopSignalThread signals;
    signals.Start(StopService, &service);
    service.Wait();
    signals.Join();
    LOG("Service stopped");
    return 0;
}
