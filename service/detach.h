// The detached background service ("-service", or no display).
#pragma once

// Forks; the parent waits for the child's start report and returns the exit
// status for it, the child becomes the service and returns when it stopped.
int VLStartServiceDetached();

void VLSetRunningAsService();
