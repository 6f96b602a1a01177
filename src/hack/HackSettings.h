#pragma once
// The saver's saved settings as the hack reads them: through the scene's reader, so both
// programs take the same values the same way, never writing.
#include <string>

#include "scene/SceneSettings.h"

using THackSettings = TSceneSettings;

// A hive that cannot be read gives the defaults, with the reason in `note`: the hack draws
// what it can rather than nothing.
THackSettings ReadHackSettings(std::string& note);
