// The settings tree in one include: folders, files, records, lists and the
// global section caches with LSettingGetString and kin.
#pragma once

#include "config/folders.h"
#include "config/settingsfile.h"
#include "config/settingslist.h"
#include "config/settingsrecord.h"
#include "config/settingssections.h"
