#pragma once
// The saver's saved settings as the programs that draw the scene read them: the saver and
// the hack read, parse and range-check them here, and neither writes here. Reading never
// makes a hive or a key: a hack runs while the Options dialog may be open in another
// process, and neither program should leave a key behind where the user never saved one.
#include <cstdint>
#include <string>

#include "settings/Settings.h"

struct TSceneSettings {
  std::string Picture = DefaultPicture;  // as stored: the marker, or a file that may be gone
  uint8_t BallCount = ParseSettingByte(DefaultBallsCount);
  uint8_t MaxSpeed = ParseSettingByte(DefaultBallsSpeed);
};

// A missing hive, key or value reads as its default. A value that cannot be read (stored
// as a number, say) or a hive that cannot be opened raises ERegistryException with the
// store's message; what the caller makes of that is its own affair.
TSceneSettings ReadSceneSettings();

// The saver's password, read the same way (only the saver needs it, to ask for it).
std::string ReadStoredPassword();
