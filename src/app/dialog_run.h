// What one run started from the main dialog hands to the engine: option words built from the
// dialog's choices, parsed into the run settings.
#pragma once

#include <cstdint>

// The option words of a run, ended by a null pointer: "-DIRECTORIES" when subdirectories are
// recreated; "-TEST", or "-EXTRACT" followed by "-OVERWRITE" (always) or "-OVERWRITE=NEVER";
// last the password word. The password word carries the password typed at an earlier run, or
// a placeholder that matches no typed password, so that the first encrypted entry asks.
// The words live in static storage until the next call.
char** BuildArgumentVector(uint16_t directiveFlags, bool test);

// Parses the words of BuildArgumentVector into fresh run settings: a choice of an earlier run
// in the same dialog (recreate subdirectories, say) does not carry over to this one.
void ParseDialogRun(uint16_t directiveFlags, bool test);
