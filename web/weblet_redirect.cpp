#include "web/weblet_redirect.h"

#include "web/weblet_form.h"

#include <cctype>
#include <cstring>

namespace
{
bool IsScriptChar(char c)
{
    return isalnum((unsigned char)c) || c == '_' || c == '-' || c == '.' || c == '/';
}
} // namespace

// Browsers skip white space and treat "//host" and "\\host" as another
// site, so only a path of script-name characters that starts with a letter
// or digit passes, with a query of printable characters.
std::string WebletSafeLocation(const char *target)
{
    if (!target || !isalnum((unsigned char)target[0]))
        return "main";
    size_t path_len = strcspn(target, "?#");
    for (size_t i = 0; i < path_len; i++)
        if (!IsScriptChar(target[i]) || (target[i] == '/' && target[i + 1] == '/'))
            return "main";
    if (strstr(target, ".."))
        return "main";
    for (const char *p = target + path_len; *p; p++)
        if ((unsigned char)*p <= ' ' || (unsigned char)*p >= 0x7f || *p == '\\')
            return "main";
    return target;
}

std::string WebletReferrerScript(const LWebletForm &form)
{
    std::string referrer = form.GetReferrer();
    std::string prefix = std::string("http://") + form.GetRequestHost() + "/";
    if (referrer.compare(0, prefix.size(), prefix) != 0)
        return std::string();
    return referrer.substr(prefix.size());
}
