#include "hack/HackSettings.h"

THackSettings ReadHackSettings(std::string& note) {
  try {
    return ReadSceneSettings();
  } catch (const Exception& e) {
    note = "the saved settings cannot be read (" + e.Message() + "); the defaults are used";
    return THackSettings{};
  }
}
