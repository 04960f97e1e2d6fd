#include "options/run_options.h"

bool NeedsNoArchive(int command) {
  return command == kCommandHelp || command == kCommandVersion;
}
