// The run settings of a test or extraction started from the main dialog, filled from the
// dialog's choices (the directive flags word the dialog writes back before every run).
#pragma once

#include <cstdint>

#include "options/run_options.h"

// Fresh settings for every run: a choice of an earlier run in the same dialog (recreate
// subdirectories, say) does not carry over to the next. Subdirectories are recreated when the
// flags say so; an extraction overwrites always or never as they say, else asks. Encrypted
// entries are tried with the password typed at an earlier run, and the first that it does not
// open asks for one.
RunOptions DialogRunOptions(uint16_t directiveFlags, bool test);
