#pragma once
// The hack's whole run: arguments, settings, window, and the paced frame loop until a
// signal, the window's end or (in its own window) q or Escape. Answers the exit status.
int HackMain(int argc, char** argv);
