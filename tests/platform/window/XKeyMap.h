#pragma once
#include <string>

// Gives the key symbol (an X keysym name such as "eacute") a free key code of its own on
// the X server, for the rest of the server's life. false when the server cannot be reached
// or has no free key code.
bool MapSpareKey(const std::string& display, const char* keysymName);
