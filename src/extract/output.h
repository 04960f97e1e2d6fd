// Where an entry's bytes go: output path, unsafe names, volume labels, overwrite modes,
// directory creation, the output file, and the print device.
#pragma once

struct ExtractionContext;
struct CentralHeader;
struct NtfsTimes;

// 1 go on with decoding, 0 the entry is finished.
int OpenOutput(ExtractionContext* context, const CentralHeader* entry, NtfsTimes* times);
int OpenPrintDevice(ExtractionContext* context);
