#pragma once
// Kept apart from the window system's headers: Xlib's macros clash with the platform names.

// Makes X errors about windows that have just gone survivable for the whole process.
// Call once SDL's video has started (it installs a handler of its own that falls back to
// Xlib's, which ends the program).
void SurviveXErrors();
