#include "service/web_script_table.h"

#include "config/folders.h"
#include "platform/log.h"
#include "service/data_files.h"
#include "web/pages/control_pages.h"
#include "web/pages/log_pages.h"
#include "web/web_control.h"

#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace
{
void SeedFolder(const std::filesystem::path &from, const std::filesystem::path &to)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(from, ec)) {
        LOGERRORF("Web files: %s is missing; the control panel is served without them",
                  from.c_str());
        return;
    }
    std::filesystem::create_directories(to, ec);
    for (const auto &entry : std::filesystem::directory_iterator(from, ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        std::filesystem::path target = to / entry.path().filename();
        if (std::filesystem::exists(target, ec))
            continue;
        if (!std::filesystem::copy_file(entry.path(), target, ec)) {
            LOGWARNF("Web files: cannot copy %s: %s", entry.path().c_str(), ec.message().c_str());
            continue;
        }
        // copy_file keeps the source's mode; the program folder is private
        // to the service's group like everything else it writes.
        std::filesystem::permissions(target,
                                     std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read,
                                     ec);
    }
}
} // namespace

const LWebletScriptItem *VLWebScriptTable(int *count)
{
    static std::vector<LWebletScriptItem> table;
    static std::once_flag once;
    std::call_once(once, [] {
        table.assign(kWebLogonScripts, kWebLogonScripts + kWebLogonScriptCount);
        table.insert(table.end(), kControlPageScripts,
                     kControlPageScripts + kControlPageScriptCount);
        table.insert(table.end(), kLogScripts, kLogScripts + kLogScriptCount);
    });
    *count = (int)table.size();
    return table.data();
}

void VLSeedWebFiles(const char *dataFolder)
{
    char folder[LPathSize];
    std::filesystem::path data = dataFolder;
    std::filesystem::path shared = LGetFolder(LFolder::SharedData, folder);
    std::filesystem::path resources = LGetFolder(LFolder::Resources, folder);
    SeedFolder(data / "WebControl", shared / "WebControl");
    SeedFolder(data / "help", resources / "help");
    // The stock ringing and hold music, played from the shared data folder.
    SeedFolder(data / "sounds", shared);
}

void VLSeedWebFiles()
{
    char data[LPathSize];
    if (!VLProgramDataFolder(data)) {
        LOGERROR("Web files: no data folder (share/vela) next to the program; the control "
                 "panel is served without its images, styles and help");
        return;
    }
    VLSeedWebFiles(data);
}

bool VLStartWebServer(LWebletServer &server, int port, const LWebPageContext *context)
{
    VLSeedWebFiles();
    int count = 0;
    const LWebletScriptItem *table = VLWebScriptTable(&count);
    return LWebControl::StartServer(server, table, count, port, context);
}
