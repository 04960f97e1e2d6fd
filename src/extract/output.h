// Where an entry's bytes go: output path, unsafe names, volume labels, overwrite modes,
// directory creation, the output file, and the print device.
#pragma once

struct ExtractionContext;
struct CentralHeader;

// True: go on with decoding; false: the entry is finished (context->abortRequested or a fatal
// condition in context->status may stop the run as well).
bool OpenOutput(ExtractionContext* context, const CentralHeader* entry);
bool OpenPrintDevice(ExtractionContext* context);
