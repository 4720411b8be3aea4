// The control panel pages: one handler per script. kControlPageScripts lists
// them with their script names, main page first, so that the engine's table
// can take them in one block.
#pragma once

#include "web/weblet_server.h"

class LWebletForm;

void VWMain(LWebletForm &form);

void VWExtensionList(LWebletForm &form);
void VWExtensionProp(LWebletForm &form);
void VWExtensionInstruction(LWebletForm &form);
void VWExtensionDelete(LWebletForm &form);

void VWExternalList(LWebletForm &form);
void VWExternalProp(LWebletForm &form);
void VWExternalAdvancedSettings(LWebletForm &form);
void VWExternalDelete(LWebletForm &form);

void VWPlanList(LWebletForm &form);
void VWPlanAdd(LWebletForm &form);
void VWPlanProp(LWebletForm &form);
void VWPlanDelete(LWebletForm &form);
void VWDialRuleProp(LWebletForm &form);
void VWDialRuleDelete(LWebletForm &form);
void VWSipRuleProp(LWebletForm &form);
void VWSipRuleDelete(LWebletForm &form);

void VWGroupList(LWebletForm &form);
void VWGroupAdd(LWebletForm &form);
void VWGroupProp(LWebletForm &form);
void VWGroupDelete(LWebletForm &form);
void VWGroupExtensionProp(LWebletForm &form);
void VWGroupExtensionDelete(LWebletForm &form);

void VWRecorderSettings(LWebletForm &form);
void VWEmergencyMapping(LWebletForm &form);

extern const LWebletScriptItem kControlPageScripts[];
extern const int kControlPageScriptCount;

// Called after an external line was saved or deleted, so that the engine
// re-registers its lines; a panel run without an engine tells nobody.
void VWNotifyLinesChanged(LWebletForm &form);
