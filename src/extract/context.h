// One run's engine state: the three buffers, the entry in hand and its output.
#pragma once

#include <cstdint>

#include "fs/fs.h"

class ArchiveState;
struct CentralHeader;

constexpr uint32_t kInputBufferSize = 61440;
constexpr uint32_t kWindowSize = 65536;  // Deflate64 distances reach 65536
constexpr uint32_t kWorkBufferSize = 10240;

// File times from an NTFS extra field, as the file system keeps them.
struct NtfsTimes {
  FileTime times[3];  // creation, last access, last write: the order setFileTimes takes
};
constexpr int kNtfsCreation = 0;
constexpr int kNtfsLastAccess = 1;
constexpr int kNtfsLastWrite = 2;

struct ExtractionContext {
  // Allocates the buffers (work, window, input); ReportFatal 105 when memory runs out.
  ExtractionContext(ArchiveState* archive, const char* destination);
  // Destroys an output stream still open and frees the buffers.
  ~ExtractionContext();
  ExtractionContext(const ExtractionContext&) = delete;
  ExtractionContext& operator=(const ExtractionContext&) = delete;

  uint32_t crc = 0xFFFFFFFFu;  // running CRC-32 register of the entry
  int processedCount = 0;
  const CentralHeader* entry = nullptr;
  ArchiveState* archive;
  uint8_t* input = nullptr;
  uint32_t inputSize = kInputBufferSize;
  uint8_t* window = nullptr;
  uint32_t windowSize = kWindowSize;
  uint8_t* work = nullptr;
  uint32_t workSize = kWorkBufferSize;
  FileStream* output = nullptr;
  const char* destination;  // ends in a separator, or is empty

  // Per entry.
  char nameBuffer[kPathSize] = {};  // the stored name, '/' separators
  char* outputName = nameBuffer;
  char pathBuffer[kPathSize] = {};
  int isDirectory = 0;
  int decrypting = 0;
  int abortRequested = 0;
  uint32_t remainingInput = 0;
  uint32_t expectedSize = 0;
  uint32_t bytesOut = 0;
  NtfsTimes* ntfsTimes = nullptr;

  void destroyOutput();
};

// 0, or 1 when the user asked to stop the run.
int ExtractEntry(ExtractionContext* context, const CentralHeader* entry);
// Compressed bytes of the entry, decrypted when needed; 0 once the entry's data is used up.
uint32_t ReadEntryData(ExtractionContext* context, uint8_t* buffer, uint32_t wanted);
// Bytes beyond the central directory's uncompressed size are dropped; returns bytes taken.
uint32_t WriteOutput(ExtractionContext* context, const uint8_t* bytes, uint32_t count);
int CopyStored(ExtractionContext* context);
// The NTFS times of the first local extra field, or null.
NtfsTimes* ReadNtfsTimes(const uint8_t* extra, uint32_t length);
const char* MethodLabel(unsigned method);

// Where CONSOLE sends decoded bytes; null discards them (the stub has no console).
extern void (*gConsoleSink)(const uint8_t* bytes, uint32_t count);
