// A temporary program folder (VELA_ROOT) with its log folder set up, for the
// tests that write settings and log files.
#pragma once

#include "config/settings.h"
#include "logs/program_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <string>

class LogRootTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vela-logs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        setenv("VELA_ROOT", root.c_str(), 1);
        char folder[LPathSize];
        shared = LSettingsGetSharedFolder(folder);
        ASSERT_TRUE(LCreateFolder(shared.c_str()));
        logs = shared + "/Logs";
        ASSERT_TRUE(LLog::SetLogFolder(logs.c_str()));
    }

    void TearDown() override
    {
        LLog::SetLogFolder("");
        nftw(
            root.c_str(),
            [](const char *p, const struct stat *, int, FTW *) { return ::remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
        unsetenv("VELA_ROOT");
    }

    static std::string ReadFile(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    std::string root, shared, logs;
};
