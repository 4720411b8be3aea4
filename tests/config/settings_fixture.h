// A temporary program folder for one test: VELA_ROOT and HOME point into a
// fresh folder that is removed afterwards.
#pragma once

#include "config/settings.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>

class SettingsTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir = std::make_unique<vtest::TempDir>("vela-config");
        root = dir->Path();
        ASSERT_FALSE(root.empty());
        setenv("VELA_ROOT", root.c_str(), 1);
        setenv("HOME", (root + "/home").c_str(), 1);
        char folder[LPathSize];
        shared = LSettingsGetSharedFolder(folder);
        ASSERT_TRUE(LCreateFolder(shared.c_str()));
    }

    void TearDown() override
    {
        dir.reset();
        unsetenv("VELA_ROOT");
    }

    static std::string ReadFile(const std::string &path) { return vtest::ReadFile(path); }
    static void WriteFile(const std::string &path, const std::string &text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }

    static bool Exists(const std::string &path)
    {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    std::unique_ptr<vtest::TempDir> dir;
    std::string root;
    std::string shared;
};
