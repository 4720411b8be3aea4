// Redirect targets come from form fields and the Referer header, that is from
// the client: only relative script names may be used as a Location.
#pragma once

#include <string>

class LWebletForm;

// The target when it is a script name of this server (letters, digits and
// "_-./", starting with a letter or digit, no "//" or "..") with an optional
// query of printable characters, otherwise "main".
std::string WebletSafeLocation(const char *target);

// The script part of the Referer header when it points at this server
// (same Host), otherwise "".
std::string WebletReferrerScript(const LWebletForm &form);
