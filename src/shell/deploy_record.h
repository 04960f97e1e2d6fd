// The deployment record: what an archive's builder allowed beyond the dialog. With it the stub
// reads its command line (switches for unattended runs), and it may run its run-after program
// from a temporary folder of its own instead of offering a destination. A record of our own,
// apart from the directive and run-after records, so that an archive made without it behaves
// exactly as it always did, whatever its command line says. Stored plain at a multiple of 12
// bytes within the first 300000 bytes of the program file, after the run-after record. The
// layout is shared by the stub's reader and the builder's writer.
#pragma once

#include <cstddef>
#include <cstdint>

// The signature, 8 bytes "VSPDep" 0x1A 0x01, as two little-endian words.
constexpr uint32_t kDeployRecordSignatureLow = 0x44505356;   // "VSPD"
constexpr uint32_t kDeployRecordSignatureHigh = 0x011A7065;  // "ep" 0x1A 0x01
constexpr size_t kDeployRecordVersion = 8;   // 16-bit: the version needed to read the record
constexpr uint16_t kDeployRecordVersionValue = 1;
constexpr size_t kDeployRecordFlags = 10;    // 16-bit, below
constexpr size_t kDeployRecordReserved = 12; // 32-bit, 0
constexpr size_t kDeployRecordCrc = 16;      // 32-bit CRC-32 of bytes 8 to 15
constexpr size_t kDeployRecordSize = 20;
constexpr size_t kDeployRecordCrcFrom = kDeployRecordVersion;

// The stub reads its command line: /S, /P, /D=, /LOG=, /?.
constexpr uint16_t kDeploySwitches = 0x0001;
// The run-after program runs from a new temporary folder, which is removed after it ended.
constexpr uint16_t kDeployTemporaryFolder = 0x0002;
constexpr uint16_t kDeployKnownFlags = kDeploySwitches | kDeployTemporaryFolder;
