#pragma once
// The program's entry: reads the run switch from the first argument and runs that mode.
int PelloraMain(int argc, char** argv);
