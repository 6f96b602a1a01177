#pragma once
// The saver's saved settings as the hack sees them: read, never written. A hack runs while
// the Options dialog may be open in another process, and it must not leave a key or a
// hive behind where the user never saved one.
#include <cstdint>
#include <string>

struct THackSettings {
  std::string Picture;
  uint8_t BallCount = 0;
  uint8_t MaxSpeed = 0;
};

// The defaults when there is no hive, no settings key or no such value. A hive that cannot
// be read also gives the defaults, with the reason in `note`.
THackSettings ReadHackSettings(std::string& note);
