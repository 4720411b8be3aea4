// The desktop window's handle on the telephony engine, wherever it runs.
// Every start and restart first notes the web server's port in
// "WebServer"/"PreviousServerPort", so that the window can tell when the
// control panel moved to another port and follow it.
#pragma once

#include "config/settingssections.h"
#include "service/main_engine.h"
#include "service/service_engine_proxy.h"

class MainEngineProxy : public LServiceEngineProxy<MainEngine>
{
  public:
    using LServiceEngineProxy<MainEngine>::LServiceEngineProxy;
    // The reader thread calls back through the virtual table: stop it before
    // destruction reaches the base class and changes the object's type.
    ~MainEngineProxy() override { Stop(); }

    bool Start()
    {
        NoteServerPort();
        return LServiceEngineProxy<MainEngine>::Start();
    }
    void CtlRestart()
    {
        NoteServerPort();
        Control(MainEngine::kCtlRestart);
    }
    void CtlRestartWeb()
    {
        NoteServerPort();
        Control(MainEngine::kCtlRestartWeb);
    }

  private:
    static void NoteServerPort()
    {
        int port = LSettingGetInt("WebServer", "Port", 0);
        if (port != LSettingGetInt("WebServer", "PreviousServerPort", 0))
            LSettingSetInt("WebServer", "PreviousServerPort", port);
    }
};
