// The Windows build of the builder has no LZMA compressor: MinGW's packages carry no liblzma.
#include "compressor.h"

std::unique_ptr<LzmaPacker> MakeLzmaPacker(int) { return nullptr; }

const char* LzmaCompressorName() { return nullptr; }
