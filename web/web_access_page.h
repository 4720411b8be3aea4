// The control panel account page ("webaccess"): user name, password and the
// idle time after which a session ends.
#pragma once

class LWebletForm;

void VWWebAccess(LWebletForm &form);
