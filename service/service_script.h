// Starting and stopping the background service from the desktop window:
// through systemd where it runs, else through the init script, asking for
// root through pkexec when the window runs as an ordinary user.
#pragma once

class LServiceScript
{
  public:
    virtual ~LServiceScript() = default;
    // action is "start" or "stop"; false (with a log line saying why) when
    // the service manager is missing or the command failed.
    virtual bool Run(const char *action) = 0;
};

class LSystemServiceScript : public LServiceScript
{
  public:
    bool Run(const char *action) override;
};
