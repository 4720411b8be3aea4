#include "web/pages/rule_forms.h"

#include "web/pages/page_common.h"
#include "web/web_frame.h"
#include "web/web_text.h"
#include "web/weblet_form.h"

void VWPrintRuleLinks(LWebletForm &form, const char *kind, const char *id, const char *subid)
{
    std::string query = "?id=";
    WebUrlEncode(query, id);
    query += "&subid=";
    WebUrlEncode(query, subid);
    std::string edit = std::string(kind) + "prop" + query;
    std::string del = std::string(kind) + "delete" + query;
    wfprintf(form, "<a href=\"%H\">Edit</a> <a href=\"%H\">Delete</a></td></tr>", edit.c_str(),
             del.c_str());
}

void VWPrintNameForm(LWebletForm &form, const char *title, const char *script, const char *label,
                     const std::string &name, const char *message)
{
    WLStandardHeader(form, VWTopNavLinks());
    VWPrintMessage(form, message);
    LHTMLInputForm html(form, title, script, "Add", true);
    html.WriteHeader(form, true);
    using In = LHTMLInputForm;
    const In::Input inputs[] = {{"add", "", "", "1", In::Hidden},
                                {"name", label, "", name.c_str(), In::Text},
                                {nullptr, nullptr, nullptr, nullptr, In::End}};
    html.WriteBody(form, inputs);
    html.WriteFooter(form, "", "");
    WLStandardFooter(form);
}
