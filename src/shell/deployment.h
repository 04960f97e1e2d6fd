// The deployment record as the stub and vespa-mksfx --show read it.
#pragma once

#include <cstdint>

#include "fs/fs.h"
#include "shell/deploy_record.h"

// The flags of the first valid record in stream from its current position, at multiples of 12
// bytes over 300000 bytes; 0 without one. A copy that fails its CRC, is of a newer version or
// sets flags this program does not know is passed over.
uint16_t FindDeployFlags(FileStream& stream);
// The same for the program file at path.
uint16_t ReadDeployFlags(const char* path);
