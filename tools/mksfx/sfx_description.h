// vespa-mksfx --show: what a self-extracting program holds, for a person to check what was
// built: its directive record decoded as the stub reads it, and the archive's entries.
#pragma once

#include <string>

// Lines for standard output (UTF-8); false with error when the file cannot be read as an
// archive.
bool DescribeSfx(const std::string& path, std::string* report, std::string* error);
