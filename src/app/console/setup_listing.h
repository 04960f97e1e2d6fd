// vespa-console -SETUP ARCHIVE: the directive record of a self-extracting archive, as its stub
// would start its dialog from it. The console only shows it: it never creates groups nor
// touches a registry.
#pragma once

#include "app/session.h"

// The option word, which no keyword of the option table begins or abbreviates.
bool IsSetupWord(const char* word);
// Prints the directive record of the session's open archive; the status of the reading (only
// running out of memory fails).
Status ShowSetupDirectives(Session& session);
