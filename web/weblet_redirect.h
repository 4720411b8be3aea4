// Redirect targets come from form fields and the Referer header, that is from
// the client: only relative script names may be used as a Location.
#pragma once

#include <string>

class LWebletForm;

// The target when it is a relative script name (no CR, LF, scheme, leading
// "/" or "\"), otherwise "main".
std::string WebletSafeLocation(const char *target);

// The script part of the Referer header when it points at this server
// (same Host), otherwise "".
std::string WebletReferrerScript(const LWebletForm &form);
