#include "shell/Shell.h"

int PelloraMain(int, char**) { return 0; }
