// The extraction context: one run's buffers and the entry in hand.
#include "extract/context.h"
#include "extract/decrypt.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "fs/format.h"

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

void ExtractionContext::discardOutput() {
  destroyOutput();
  if (replacement.active()) {
    replacement.drop();
  } else {
    deleteFile(outputName);
  }
}

namespace {

// Spreads the bits of a value over all of them (the finaliser of a well-known 64-bit mixer).
uint64_t Mix(uint64_t value) {
  value ^= value >> 30;
  value *= 0xBF58476D1CE4E5B9ull;
  value ^= value >> 27;
  value *= 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

constexpr int kNameAttempts = 16;

}  // namespace

Replacement& Replacement::operator=(Replacement&& other) noexcept {
  if (this != &other) {
    drop();
    temporary_ = static_cast<Text&&>(other.temporary_);
    target_ = static_cast<Text&&>(other.target_);
    attributes_ = other.attributes_;
    lastWrite_ = other.lastWrite_;
    hasTimes_ = other.hasTimes_;
    std::memcpy(times_, other.times_, sizeof times_);
    timeSelection_ = other.timeSelection_;
    other.temporary_ = Text();
    other.target_ = Text();
  }
  return *this;
}

std::unique_ptr<FileStream> Replacement::begin(const char* target, uint32_t attributes) {
  drop();
  const char* end = target + std::strlen(target);
  const char* name = end;
  while (name > target && name[-1] != '/' && name[-1] != '\\') --name;
  const Text folder(target, static_cast<size_t>(name - target));
  // Hidden, as a file of ours that is not the user's yet; never read-only while it is written
  // and moved (its attributes come once it is in place).
  const uint32_t made = (attributes & ~kAttrReadOnly) | kAttrHidden;
  uint64_t seed = Mix(monotonicTicks() ^ reinterpret_cast<uintptr_t>(this));
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    seed = Mix(seed + static_cast<uint64_t>(attempt) + 1);
    char unique[16];
    FormatText(unique, sizeof unique, "%08x", static_cast<unsigned>(seed & 0xFFFFFFFFu));
    Text path(folder);
    path += kReplacementPrefix;
    path += unique;
    path += kReplacementSuffix;
    // Noted before it exists: a break between the two would otherwise leave it behind. Open to
    // deleting, so that a break can take it away while it is still being written.
    noteUnfinishedFile(path.c_str());
    std::unique_ptr<FileStream> stream(
        new FileStream(path.c_str(), kGenericWrite, kShareDelete, kCreateNew, made));
    if (stream->isOpen()) {
      temporary_ = static_cast<Text&&>(path);
      target_ = Text(target);
      return stream;
    }
    const int error = lastError();
    forgetUnfinishedFile(path.c_str());
    if (error != kErrorFileExists && error != kErrorAlreadyExists) break;
  }
  return nullptr;
}

void Replacement::finishWith(uint32_t attributes, uint32_t lastWrite, const NtfsTimes* times,
                             unsigned timeSelection) {
  attributes_ = attributes;
  lastWrite_ = lastWrite;
  hasTimes_ = times != nullptr;
  if (times) std::memcpy(times_, times->times, sizeof times_);
  timeSelection_ = timeSelection;
}

void Replacement::drop() {
  if (temporary_.empty()) return;
  deleteFile(temporary_.c_str());
  forgetUnfinishedFile(temporary_.c_str());
  temporary_ = Text();
  target_ = Text();
}

bool Replacement::commit() {
  if (temporary_.empty()) return false;
  if (replaceFile(target_.c_str(), temporary_.c_str()) != 0) {
    drop();
    return false;
  }
  forgetUnfinishedFile(temporary_.c_str());
  // Times first (a replace may have brought the old creation time back), then attributes, as on
  // a file written in place.
  if (hasTimes_) {
    FileStream placed(target_.c_str(), kGenericWrite, kShareRead | kShareWrite, kOpenExisting, 0);
    if (placed.isOpen()) {
      setFileTimes(placed.handle(), target_.c_str(), nullptr, nullptr, &lastWrite_, times_,
                   timeSelection_);
    }
  }
  setAttributes(target_.c_str(), attributes_);
  temporary_ = Text();
  target_ = Text();
  return true;
}
