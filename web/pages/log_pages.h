// The control panel's log pages. The handlers are free functions of the web
// server's script table; kLogScripts lists them with their script names so
// that the table of the engine can take them in one block.
#pragma once

#include "web/weblet_server.h"

class LWebletForm;

void VWLogList(LWebletForm &form);           // "loglist"
void VWLogProp(LWebletForm &form);           // "logprop"
void VWLogDelete(LWebletForm &form);         // "logdelete"
void VWLogDeleteSelected(LWebletForm &form); // "logdeleteselected"
void VWAutoDeleteLog(LWebletForm &form);     // "autodeletelog"
void VWOdbcLog(LWebletForm &form);           // "odbclog"
void VWSipTrace(LWebletForm &form);          // "siptrace"

// "loglist", "logprop", "logdelete", "logdeleteselected", "autodeletelog",
// "odbclog", "siptrace", in that order.
extern const LWebletScriptItem kLogScripts[];
extern const int kLogScriptCount;

// The log files the list shows: names ending in ".txt", then ".csv".
// Exposed for the pages' own use and tests.
#include <string>
#include <vector>
std::vector<std::string> LLogListFiles(const char *folder);
