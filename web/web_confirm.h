// The question asked before a deletion. "Yes" is a form posted with the
// session's token, never a link, so no page of another site can answer it.
#pragma once

#include <string>
#include <utility>
#include <vector>

class LWebletForm;

using WLHiddenFields = std::vector<std::pair<std::string, std::string>>;

// Asks "Are you sure you want to delete the selected item?" with a form that
// posts fields plus "confirmed=yes" to script, and a link back.
void WLConfirmDeletePage(LWebletForm &form, const char *script, const WLHiddenFields &fields,
                         const char *back);
