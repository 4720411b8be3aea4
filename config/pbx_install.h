// The records a new installation starts with.
#pragma once

// Creates the application extensions, a first group, the "default" plan and
// the line "Default", then sets "Settings" / "Installed". Does nothing once
// "Installed" is set. False when a record could not be written.
bool PreInstallExtensionsAndExternalLines();

// Tops the ordinary extensions up to count, numbered consecutively from
// GetMaxExtensionNo() and displayed as "Extension %d". Returns how many were
// created.
int PostInstallExtensionsAndExternalLines(int count);
