#pragma once
// Kept apart from the window system's headers: Xlib's macros clash with the platform names.

// Makes X errors about windows that have just gone survivable for the whole process, and
// a lost connection to the display end it at once (status 1) rather than in a clean-up
// that would wait on the dead connection.
// Call once SDL's video has started (it installs a handler of its own that falls back to
// Xlib's, which ends the program).
void SurviveXErrors();
