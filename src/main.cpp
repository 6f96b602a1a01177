#include "shell/Shell.h"

int main(int argc, char** argv) { return PelloraMain(argc, argv); }
