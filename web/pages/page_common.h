// Pieces shared by the control panel pages: record key checks, the delete
// confirmation, validation messages, line choices and pull-down rows.
#pragma once

#include "config/folders.h"

#include <string>
#include <vector>

class LWebletForm;

// A name that may become a record key: what the settings tree accepts, and
// no control characters (they would end up in file names and links).
bool VWIsValidKey(const char *key);

// The "submit" field reads "Cancel" (without case).
bool VWIsCancel(LWebletForm &form);

// Unless "confirmed" is present, asks whether to delete the item and returns
// false; its form posts "id" and "subid" back to the script.
bool VMConfirmYesNo(LWebletForm &form, const char *script, const char *back);

// "<center><font color=#a00000><b>message</b></font></center><p>" (nothing
// for an empty message).
void VWPrintMessage(LWebletForm &form, const char *message);

// A line choice as shown ("[Extension]" for "", "[Blocked]" for "-") and
// back.
std::string VWTranslatePlanLineOptionToText(const char *option);
std::string VWTranslatePlanLineTextToOption(const char *text);
// The external line names, then "[Extension]" and "[Blocked]".
std::vector<std::string> VWPlanLineChoices();
std::vector<std::string> VWExternalLineNames();
std::vector<std::string> VWExtensionNames();
std::vector<std::string> VWPlanNames();

// A labelled <select> row of a free-function form.
void VWPrintSelectRow(LWebletForm &form, const char *label, const char *name,
                      const std::vector<std::string> &items, const std::string &selected);

// Case-insensitive comparison of record names.
bool VWSameName(const std::string &a, const std::string &b);

// A text field read as a non-negative number; false when it is not one.
bool VWReadCount(const std::string &text, int &out);

// Top links of the free-function pages and the list pages' tabs.
std::string VWListNavLinks(const char *help);

// The list page of a kind of record, shown after a save, delete or cancel.
void VWShowList(LWebletForm &form, const char *script);
