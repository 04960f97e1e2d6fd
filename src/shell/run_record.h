// The run-after record: the program a self-extracting archive offers to run once an extraction
// has completed. A record of our own, apart from the directive record, so that archives made
// by other builders (which may have put anything in the directive record's unused texts) never
// run anything. Stored plain at a multiple of 12 bytes within the first 300000 bytes of the
// program file, as the directive record is; the builder puts it after that record. The layout
// is shared by the stub's reader and the builder's writer.
#pragma once

#include <cstddef>
#include <cstdint>

// The signature, 8 bytes "VSPRun" 0x1A 0x01, as two little-endian words (compared as numbers,
// so that the stub keeps no copy of it among its data).
constexpr uint32_t kRunRecordSignatureLow = 0x52505356;   // "VSPR"
constexpr uint32_t kRunRecordSignatureHigh = 0x011A6E75;  // "un" 0x1A 0x01
constexpr size_t kRunRecordSignatureSize = 8;
constexpr size_t kRunRecordVersion = 8;        // 16-bit: the version needed to read the record
constexpr uint16_t kRunRecordVersionValue = 1;
constexpr size_t kRunRecordFlags = 10;         // 16-bit, below
constexpr size_t kRunRecordCommandLength = 12; // 16-bit: bytes of the command, 1 or more
constexpr size_t kRunRecordReserved = 14;      // 16-bit, 0
constexpr size_t kRunRecordCrc = 16;           // 32-bit CRC-32 of bytes 8 to 15, then the command
constexpr size_t kRunRecordHeaderSize = 20;    // the command follows, code page 1252, no NUL
// The stub's own code holds the signature too: only a record whose CRC matches is taken, and
// the search goes on past one that does not.
constexpr size_t kRunRecordCrcFrom = kRunRecordVersion;

constexpr uint16_t kRunFlagChecked = 0x0001;   // the dialog's box starts checked
// A command line of Windows holds at most 32767 characters; a command is far shorter, and the
// stub keeps it with the destination in place of "%0" in buffers of this bound.
constexpr uint16_t kRunCommandMax = 1024;
