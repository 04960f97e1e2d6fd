// The destination typed or chosen in the main dialog: its normal form and its creation.
#pragma once

// Drops a trailing '\' from a destination longer than one character, unless it follows ':'
// ("C:\" keeps it, "C:\Dir\" loses it).
void TrimDestination(char* path);

// Creates the directory path names, with every missing directory above it. Returns 1 when the
// path can be entered afterwards. Returns 0 when some directory on the way could be neither
// entered nor created; path is then left cut at that directory, for the message.
int CreateDestination(char* path);
