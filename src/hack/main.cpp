// The screen lockers' hack: the saver's scene drawn into a window the locker lends.
#include "hack/HackMain.h"
#include "image/DIB.h"
#include "runtime/Graphics.h"

int main(int argc, char** argv) {
  // Only the picture classes are needed: the bitmap files a user may choose, and the
  // device-independent bitmap that the built-in ball is stored as.
  RegisterGraphicsClasses();
  InitializeDIBUnit();
  const int status = HackMain(argc, argv);
  FinalizeDIBUnit();
  return status;
}
