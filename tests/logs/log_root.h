// A temporary program folder (VELA_ROOT) with its log folder set up, for the
// tests that write settings and log files.
#pragma once

#include "config/settings_fixture.h"
#include "logs/program_log.h"

#include <string>

class LogRootTest : public SettingsTest
{
  protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        logs = shared + "/Logs";
        ASSERT_TRUE(LLog::SetLogFolder(logs.c_str()));
    }

    void TearDown() override
    {
        LLog::SetLogFolder("");
        SettingsTest::TearDown();
    }

    std::string logs;
};
