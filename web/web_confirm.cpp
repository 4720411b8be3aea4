#include "web/web_confirm.h"

#include "web/web_frame.h"
#include "web/weblet_form.h"
#include "web/weblet_guard.h"

void WLConfirmDeletePage(LWebletForm &form, const char *script, const WLHiddenFields &fields,
                         const char *back)
{
    WLStandardHeader(form, VWTopNavLinks());
    wfprintf(form,
             "<center><font color=#a00000>Are you sure you want to delete the selected "
             "item?</font><p><form action=\"%H\" method=post>",
             script);
    for (const auto &[name, value] : fields)
        wfprintf(form, "<input type=hidden name=\"%H\" value=\"%H\">", name.c_str(), value.c_str());
    wfprintf(form,
             "<input type=hidden name=confirmed value=yes>%s<input type=submit value=\"Yes, delete "
             "it\"></form><a href=\"%H\">No, do not delete it</a><p></center>",
             WebletCsrfHiddenField(form).c_str(), back);
    WLStandardFooter(form);
}
