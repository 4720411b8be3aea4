// The dialogs of an external line: its main settings and the advanced ones.
#pragma once

#include "config/pbx_external_line.h"
#include "web/web_dialog.h"

#include <string>
#include <vector>

class VLExternalPropPage : public LWebDialog
{
  public:
    explicit VLExternalPropPage(LWebletForm &form);
    void InitDialog() override;
    void Generate() override;
    bool CmOk() override;

  private:
    std::string id;
};

class VLExternalAdvancedSettingsPage : public LWebDialog
{
  public:
    explicit VLExternalAdvancedSettingsPage(LWebletForm &form);
    void InitDialog() override;
    void Generate() override;
    bool CmOk() override;

  private:
    bool OpenLine(LPBXExternalLine &line);
    std::string id;
};

// "[None]", the extensions, then the groups.
std::vector<std::string> VWRingOnChoices();

struct LSipLineStatus;
// The registration column of a line: registered until when, or the last
// failure and the next attempt. "" for a line a device registers on to us.
std::string VWLineRegistrationText(const std::vector<LSipLineStatus> &lines, const char *lineID,
                                   const char *server);
