// A temporary program folder for one test: VELA_ROOT and HOME point into a
// fresh folder that is removed afterwards.
#pragma once

#include "config/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <string>
#include <sys/stat.h>

class SettingsTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vela-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        setenv("VELA_ROOT", root.c_str(), 1);
        setenv("HOME", (root + "/home").c_str(), 1);
        char folder[LPathSize];
        shared = LSettingsGetSharedFolder(folder);
        ASSERT_TRUE(LCreateFolder(shared.c_str()));
    }

    void TearDown() override
    {
        nftw(
            root.c_str(),
            [](const char *p, const struct stat *, int, FTW *) { return ::remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
        unsetenv("VELA_ROOT");
    }

    static std::string ReadFile(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static void WriteFile(const std::string &path, const std::string &text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }

    static bool Exists(const std::string &path)
    {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    std::string root;
    std::string shared;
};
