// Seeding the static files of the control panel from a data folder laid out
// as the installed one (the source tree's web/ is): what is missing is
// copied, what the user already has is left alone.
#include "../web_fixture.h"
#include "config/folders.h"
#include "service/web_script_table.h"
#include "support/log_catcher.h"
#include "support/process.h"

#include <filesystem>
#include <fstream>

namespace
{
namespace fs = std::filesystem;

TEST_F(WebRootTest, SeedCopiesMissingFilesAndKeepsExistingOnes)
{
    char folder[LPathSize];
    std::string web = LGetFolder(LFolder::WebControl, folder);
    std::string help = LGetFolder(LFolder::Help, folder);
    ASSERT_TRUE(LCreateFolder(web.c_str()));
    std::ofstream(web + "/s.css") << "/* edited by the user */";
    const std::string source = VELA_TEST_DATA "/../../../web/";
    VLSeedWebFiles(source.c_str());
    EXPECT_EQ(vtest::ReadFile(web + "/s.css"), "/* edited by the user */");
    for (const char *name : {"orbs.gif", "edit.gif", "print.css"})
        EXPECT_EQ(vtest::ReadFile(web + "/" + name), vtest::ReadFile(source + "WebControl/" + name))
            << name;
    EXPECT_EQ(vtest::ReadFile(help + "/index.html"), vtest::ReadFile(source + "help/index.html"));
    EXPECT_FALSE(vtest::ReadFile(help + "/index.html").empty());

    // A second run copies nothing over a file that changed since.
    std::ofstream(web + "/orbs.gif") << "replaced";
    fs::remove(web + "/edit.gif");
    VLSeedWebFiles(source.c_str());
    EXPECT_EQ(vtest::ReadFile(web + "/orbs.gif"), "replaced");
    EXPECT_TRUE(fs::exists(web + "/edit.gif"));
}

// This test program has no share/vela next to it, as a binary copied away
// from its installed files has none.
TEST_F(WebRootTest, ProgramWithoutItsDataFolderLogsAnError)
{
    vtest::LogCatcher log;
    VLSeedWebFiles();
    EXPECT_TRUE(log.Has("Web files: no data folder"));
}
} // namespace
