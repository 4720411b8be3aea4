#include "logs/log_files.h"
#include "web/pages/log_pages.h"

#include "config/folders.h"
#include "platform/log.h"
#include "web/html_list.h"
#include "web/web_confirm.h"
#include "web/web_format.h"
#include "web/web_frame.h"
#include "web/web_page.h"
#include "web/weblet_form.h"
#include "web/weblet_guard.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const LWebPageWithNavTabs::Tab kTabs[] = {
    {"Extensions", "extensionlist", false},
    {"External Lines", "externallist", false},
    {"Dialing Plans", "planlist", false},
    {"Groups", "grouplist", false},
    {"Logs", "loglist", true},
    {nullptr, nullptr, false},
};

const LWebPageWithNavTabs::SubLink kSubLinks[] = {
    {"autodeletelog?onok=loglist&oncancel=loglist", "Auto Delete Logs", 0},
    {"siptrace", "Advanced Sip Tracing", 0},
    {"odbclog", "ODBC Database Log", 0},
    {nullptr, nullptr, 0},
};

bool EndsWith(const std::string &name, const char *suffix)
{
    size_t n = std::strlen(suffix);
    return name.size() > n && name.compare(name.size() - n, n, suffix) == 0;
}

class VLLogListPage : public LWebPageWithNavTabs
{
  public:
    explicit VLLogListPage(LWebletForm &form) : LWebPageWithNavTabs(form)
    {
        SetNavTabs(kTabs);
        SetNavTabSubLinks(kSubLinks);
        SetNavLinksText(VWTopNavLinks());
    }

    void Generate() override
    {
        char folder[LPathSize];
        LHtmlList list(form, "loglist", 1);
        list.AddColumnRawHTML("<input type=checkbox name=selectall onclick=\"selectall_click()\">",
                              2);
        list.AddColumn("Log File", 94, LHtmlList::AlignLeft, true);
        list.AddColumn("Edit", 2, LHtmlList::AlignCentre, false);
        list.AddColumn("Delete", 2, LHtmlList::AlignCentre, false);
        int index = 0;
        for (const std::string &name : LLogListFiles(LLogFolderPath(folder))) {
            LHtmlListRow row;
            row.AddCellPrintF("<input type=checkbox name=check%d value=\"%H\">", index++,
                              name.c_str());
            row.AddCellPrintFWithOrder(name.c_str(),
                                       "<a href=\"logprop?file=%U\" target=\"_blank\">%H</a>",
                                       name.c_str(), name.c_str());
            std::string view = WebFormat("logprop?file=%U", name.c_str());
            std::string remove = WebFormat("logdelete?file=%U", name.c_str());
            row.AddCellImageLink("edit.gif", view.c_str(), "View File");
            row.AddCellImageLink("trash.gif", remove.c_str(), "Delete File");
            list.AddRow(row);
        }
        wfputs(form, "<form action=\"logdeleteselected\" method=post>");
        wfputs(form, WebletCsrfHiddenField(form).c_str());
        list.Write(form, 100);
        wfprintf(form,
                 "<input type=hidden name=count value=%d><p align=right><input type=submit "
                 "name=submit value=\"Delete Selected\"></p></form>",
                 list.GetRowCount());
        AddJScriptFunction("function selectall_click() {\r\n"
                           "  var on = document.getElementsByName('selectall')[0].checked;\r\n"
                           "  for (var i = 0;; i++) {\r\n"
                           "    var box = document.getElementsByName('check' + i);\r\n"
                           "    if (box.length == 0) break;\r\n"
                           "    box[0].checked = on;\r\n"
                           "  }\r\n"
                           "}\r\n");
    }
};

// Deletes a log file named by the client; names that are not plain file
// names of the log folder are refused.
bool DeleteLogFile(const char *name)
{
    char path[LPathSize];
    if (!LLogFilePath(path, name)) {
        LOGWARNTEXT("Refused to delete log file ", name);
        return false;
    }
    return unlink(path) == 0;
}
} // namespace

std::vector<std::string> LLogListFiles(const char *folder)
{
    std::vector<std::string> txt, csv;
    if (DIR *dir = opendir(folder)) {
        while (dirent *entry = readdir(dir)) {
            struct stat info {
            };
            std::string name = entry->d_name;
            if (fstatat(dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
                continue;
            if (EndsWith(name, ".txt"))
                txt.push_back(name);
            else if (EndsWith(name, ".csv"))
                csv.push_back(name);
        }
        closedir(dir);
    }
    txt.insert(txt.end(), csv.begin(), csv.end());
    return txt;
}

void VWLogList(LWebletForm &form)
{
    VLLogListPage page(form);
    page.Open();
}

void VWLogDelete(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    std::string file = form.GetParmTrim("file");
    if (!*form.GetParm("confirmed") && LLogIsPlainFileName(file.c_str())) {
        WLConfirmDeletePage(form, "logdelete", {{"file", file}}, "loglist");
        return;
    }
    if (*form.GetParm("confirmed"))
        DeleteLogFile(file.c_str());
    form.Redirect("loglist");
}

void VWLogDeleteSelected(LWebletForm &form)
{
    if (!WLValidateSession(form))
        return;
    // The count comes from the client: bounded so a forged value cannot
    // keep the connection thread looping.
    int count = std::clamp(form.GetInt("count", 0), 0, 100000);
    for (int i = 0; i < count; i++) {
        std::string field = "check" + std::to_string(i);
        const char *name = form.GetParm(field.c_str());
        if (*name)
            DeleteLogFile(name);
    }
    form.Redirect("loglist");
}
