// The screen lockers' hack: the saver's scene drawn into a window the locker lends.
#include "hack/HackMain.h"
#include "scene/SceneUnits.h"

int main(int argc, char** argv) {
  // The units the scene's rules stand on: the picture classes read the ball.
  SceneRuleUnits().Initialize();
  const int status = HackMain(argc, argv);
  SceneRuleUnits().Finalize();
  return status;
}
