// The extraction context: one run's buffers and the entry in hand.
#include "extract/context.h"

#include <cstring>
#include <new>

#include "report/report.h"

void (*gConsoleSink)(const uint8_t* bytes, uint32_t count) = nullptr;

ExtractionContext::ExtractionContext(ArchiveState* archiveState, const char* destinationDirectory)
    : archive(archiveState), destination(destinationDirectory ? destinationDirectory : "") {
  work = new (std::nothrow) uint8_t[kWorkBufferSize];
  window = new (std::nothrow) uint8_t[kWindowSize];
  input = new (std::nothrow) uint8_t[kInputBufferSize];
  if (!work || !window || !input) ReportFatal(105, nullptr);
  // A distance reaching before an entry's first byte reads the window's old content: start it
  // from known bytes rather than whatever the allocator left.
  std::memset(window, 0, kWindowSize);
}

ExtractionContext::~ExtractionContext() {
  destroyOutput();
  delete ntfsTimes;
  delete[] work;
  delete[] input;
  delete[] window;
}

void ExtractionContext::destroyOutput() {
  delete output;
  output = nullptr;
}
