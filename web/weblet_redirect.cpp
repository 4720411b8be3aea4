#include "web/weblet_redirect.h"

#include "web/weblet_form.h"

#include <cstring>

std::string WebletSafeLocation(const char *target)
{
    if (!target || !*target || target[0] == '/' || target[0] == '\\')
        return "main";
    if (strpbrk(target, "\r\n"))
        return "main";
    // A ":" before the query would make the target a URL with a scheme.
    size_t path_len = strcspn(target, "?#");
    if (memchr(target, ':', path_len))
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
