#include "app/dialog_run.h"

#include "shell/directive_flags.h"

RunOptions DialogRunOptions(uint16_t directiveFlags, bool test) {
  RunOptions options;
  if (directiveFlags & kDirectiveRecreateDirectories) options.Path = options.Recurse = true;
  if (test) {
    options.command = kCommandTest;
  } else {
    options.command = kCommandExtract;
    if (directiveFlags & kDirectiveOverwriteAlways) {
      options.Overwrite = kOverwriteAlways;
    } else if (directiveFlags & kDirectiveOverwriteNever) {
      options.Overwrite = kOverwriteNever;
    }
  }
  options.Password = true;
  return options;
}
