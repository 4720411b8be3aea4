// Deleting old log files. The maintenance thread calls LLogCleanUp about
// once a day; files of the log folder older than "Logs"/"AutoDeleteDays"
// days go.
#pragma once

#include <ctime>

// Deletes every plain file in folder whose modification time is more than
// days * 86400 seconds before now. days <= 0 keeps everything. Returns the
// number of files deleted.
int LLogDeleteOlderThan(const char *folder, int days, time_t now);

// The daily clean-up of the log folder with the configured age (default 30).
int LLogCleanUp();
