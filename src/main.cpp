#include "shell/Shell.h"
#include "shell/Units.h"

int main(int argc, char** argv) {
  InitializeUnits();
  const int status = PelloraMain(argc, argv);
  FinalizeUnits();
  return status;
}
