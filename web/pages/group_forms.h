// The group properties form and the member form.
#pragma once

#include <string>

class LWebletForm;

extern const char *const kVWGroupExists;

struct VWGroupFields {
    std::string id, name, promptfile, hold = "localhost:606";
    bool startprompt = false, defaultprompt = true;
    std::string waithold = "server";
};

// The file "PleaseHold.wav" of the shared data folder.
std::string VWInstalledPrompt();
// Name non-empty, a valid key and unused by another group (other than id).
bool VWGroupIsValid(const std::string &id, const std::string &name);
void VWDrawGroupForm(LWebletForm &form, const VWGroupFields &f, const char *message);
