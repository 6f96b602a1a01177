// The main of the test programs above the platform layer: the program's units up to the
// tested layer (PELLORA_UNITS_UP_TO) start before any test, as they do in the program, so
// no test depends on which ran first.
#include <gtest/gtest.h>

#include "shell/Units.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  InitializeUnits(TUnitLayer::PELLORA_UNITS_UP_TO);
  const int status = RUN_ALL_TESTS();
  FinalizeUnits();
  return status;
}
