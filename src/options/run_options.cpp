#include "options/run_options.h"

bool NeedsNoArchive(Command command) {
  return command == kCommandHelp || command == kCommandVersion;
}
