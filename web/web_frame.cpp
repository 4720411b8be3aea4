#include "web/web_frame.h"

#include "platform/version.h"
#include "web/weblet_form.h"

namespace
{
void WriteHead(LWebletForm &form, const char *script)
{
    wfputs(form, kWebHtmlHeader);
    wfputs(form,
           "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Vela</title>\r\n"
           "<link rel=\"stylesheet\" type=\"text/css\" href=\"s.css\">\r\n"
           "<link rel=\"stylesheet\" type=\"text/css\" href=\"print.css\" media=\"print\">\r\n");
    if (script)
        wfprintf(form, "<script type=\"text/javascript\"><!--\r\n%s\r\n//-->\r\n</script>\r\n",
                 script);
    wfputs(form, "</head>\r\n");
}

void WriteFrameStart(LWebletForm &form, const char *links, const char *align)
{
    wfprintf(form,
             "<body bgcolor=#e8e8e8><table class=frame width=100%% border=0 cellpadding=8 "
             "cellspacing=0 bgcolor=#ffffff><tr><td class=title><b>Vela</b></td>"
             "<td align=right><div class=noprint>%s</div></td></tr>\r\n"
             "<tr><td colspan=2><hr></td></tr>\r\n<tr><td colspan=2%s>",
             links ? links : "", align);
}
} // namespace

void WLStandardHeader(LWebletForm &form, const char *links)
{
    WriteHead(form, nullptr);
    WriteFrameStart(form, links, "");
}

void WLStandardHeaderCenter(LWebletForm &form, const char *links)
{
    WriteHead(form, nullptr);
    WriteFrameStart(form, links, " align=center");
}

void WLStandardHeaderWithJsScript(LWebletForm &form, const char *links, const char *script)
{
    WriteHead(form, script);
    WriteFrameStart(form, links, "");
}

void WLStandardFooter(LWebletForm &form)
{
    wfputs(form, "</td></tr>\r\n<tr><td colspan=2 class=footer>Vela v " VELA_VERSION "</td></tr>"
                 "</table></body></html>\r\n");
}

const char *VWTopNavLinks()
{
    return "<a href=\"main\">Main</a>&nbsp;|&nbsp;<a href=\"logoff\">Log Off</a>&nbsp;|&nbsp;"
           "<a href=\"help/index.html\" target=\"_blank\">Help</a>";
}

void VWPrintTopNavLinks(LWebletForm &form)
{
    wfputs(form, VWTopNavLinks());
}

bool WLValidateSession(LWebletForm &form)
{
    if (form.IsSessionValid())
        return true;
    WLStandardHeaderCenter(form, "");
    wfputs(form, "<center><br>Your session has expired or you are not logged on.<p>"
                 "Click <a href=\"logon\">here</a> to log on.</center><br>");
    WLStandardFooter(form);
    return false;
}

void WLSetOkCancelPage(LWebletForm &form, const char *onok, const char *oncancel)
{
    if (!*form.GetParm("onok"))
        form.form_data.SetParm("onok", onok);
    if (!*form.GetParm("oncancel"))
        form.form_data.SetParm("oncancel", oncancel);
}
