// Pieces shared by the plan, rule and group forms.
#pragma once

#include "web/html_input_form.h"

#include <string>

class LWebletForm;

// "Edit" and "Delete" links of one sub-record ("<kind>prop" and
// "<kind>delete" with "id" and "subid"), closing the table row.
void VWPrintRuleLinks(LWebletForm &form, const char *kind, const char *id, const char *subid);

// The first step of adding a plan or group: a form asking for its name.
void VWPrintNameForm(LWebletForm &form, const char *title, const char *script, const char *label,
                     const std::string &name, const char *message);

// Name non-empty, a valid key and not used by another plan (other than id);
// writes "VWPlanIsValid " and the name to the program log.
bool VWPlanIsValid(const std::string &id, const std::string &name);
