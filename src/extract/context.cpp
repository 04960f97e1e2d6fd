// The extraction context: one run's buffers and the entry in hand.
#include "extract/context.h"
#include "extract/decrypt.h"

#include <cstring>
#include <new>

ExtractionContext::ExtractionContext(ArchiveState* archiveState, const RunOptions& runOptions,
                                     Reporter& reporter, UserCallbacks* userCallbacks,
                                     const char* destinationDirectory)
    : archive(archiveState),
      options(runOptions),
      report(reporter),
      callbacks(userCallbacks),
      destination(destinationDirectory ? destinationDirectory : ""),
      overwrite(runOptions.Overwrite),
      passwordsAllowed(runOptions.Password) {
  if (!runOptions.passwordText.empty()) {
    SetPassword(this, runOptions.passwordText.c_str());
  }
  work = new (std::nothrow) uint8_t[kWorkBufferSize];
  window = new (std::nothrow) uint8_t[kInflateWindowSize];
  input = new (std::nothrow) uint8_t[kInputBufferSize];
  // A distance reaching before an entry's first byte reads the window's old content: start it
  // from known bytes rather than whatever the allocator left.
  if (window) std::memset(window, 0, kInflateWindowSize);
}

ExtractionContext::~ExtractionContext() {
  delete[] work;
  delete[] input;
  delete[] window;
}

bool ExtractionContext::fail(const Status& failure) {
  if (status.ok()) status = failure;
  return false;
}

void ExtractionContext::destroyOutput() { output.reset(); }
