// Finding the password of an encrypted entry: the one already known, else asking the user.
#include <cstring>

#include "extract/context.h"
#include "extract/decrypt.h"
#include "options/run_options.h"
#include "report/report.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"

namespace {

// Which decrypted header byte proves the password: with a data descriptor the CRC was not known
// when the header was written, so the encrypter used the high byte of the DOS time instead.
uint8_t CheckByte(const CentralHeader* entry) {
  if (entry->flags() & kFlagDataDescriptor) return static_cast<uint8_t>(entry->dosDateTime() >> 8);
  return static_cast<uint8_t>(entry->crc32() >> 24);
}

}  // namespace

int CheckPassword(ExtractionContext* context, const CentralHeader* entry) {
  RunOptions& options = gRunOptions;
  if (!options.Password) {
    ReportWarning(13, context->nameBuffer);
    return 1;
  }
  // The compressed size comes from the archive: one too small to hold the encryption header
  // would have the header read run into whatever follows the entry, and the data length
  // wrap around below zero.
  if (entry->compressedSize() < static_cast<uint32_t>(kEncryptionHeaderSize)) {
    ReportWarning(5, context->nameBuffer);
    return 1;
  }

  context->decrypting = 1;
  uint8_t saved[kEncryptionHeaderSize];
  context->archive->readArchiveExact(saved, kEncryptionHeaderSize);

  if (!options.passwordText) {
    gCallbacks->GetPassword(storedPassword, kPasswordSize);
    storedPassword[kPasswordSize - 1] = '\0';
    options.passwordText = storedPassword;
  }

  const uint8_t check = CheckByte(entry);
  int prompts = 0;
  for (;;) {
    uint8_t header[kEncryptionHeaderSize];
    std::memcpy(header, saved, sizeof header);
    DecryptHeader(options.passwordText, header);
    if (header[kEncryptionHeaderSize - 1] == check) {
      context->remainingInput = entry->compressedSize() - kEncryptionHeaderSize;
      return 0;
    }
    // The password typed at the last prompt has been tried too before the entry is given up.
    if (prompts == kMaxPasswordPrompts) break;

    // Typed passwords always land in the program's own store: the text of the option word
    // that gave the first password has no room to take a longer one.
    int answer = gCallbacks->AskPassword(context->nameBuffer, storedPassword, kPasswordSize);
    storedPassword[kPasswordSize - 1] = '\0';
    ++prompts;
    if (answer == kPasswordSkipAll) options.Password = 0;
    if (answer != kPasswordEntered) {
      if (prompts < kMaxPasswordPrompts) {
        ReportWarning(13, "");
        return 1;
      }
      break;
    }
    options.passwordText = storedPassword;
  }
  ReportWarning(20, context->nameBuffer);
  return 1;
}
