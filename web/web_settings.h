// The few settings and folders the web server needs, behind one accessor so
// the server does not depend on how the settings tree is stored.
#pragma once

#include <string>

std::string WebSettingGetString(const char *section, const char *key, const char *def);
int WebSettingGetInt(const char *section, const char *key, int def);
bool WebSettingSetInt(const char *section, const char *key, int value);
bool WebSettingSetString(const char *section, const char *key, const char *value);

// Shared data folder (settings tree, "SessionData", "WebControl").
std::string WebSharedDataFolder();
// Resources folder (the "help" pages live below it).
std::string WebResourcesFolder();
