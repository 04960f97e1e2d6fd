// Finding the password of an encrypted entry: the one already known, else asking the user.
#include <cstring>

#include "extract/context.h"
#include "extract/decrypt.h"
#include "fs/codepage.h"
#include "report/user_callbacks.h"
#include "zip/archive_state.h"

namespace {

// Which decrypted header byte proves the password: with a data descriptor the CRC was not known
// when the header was written, so the encrypter used the high byte of the DOS time instead.
uint8_t CheckByte(const CentralHeader* entry) {
  if (entry->flags & kFlagDataDescriptor) return static_cast<uint8_t>(entry->dosDateTime >> 8);
  return static_cast<uint8_t>(entry->crc32 >> 24);
}

// A password the callbacks hand over in a buffer of their own size.
Text Terminated(const char* buffer) { return PasswordBytes(Text(buffer, strnlen(buffer, kPasswordSize - 1)).c_str()); }

}  // namespace

Text PasswordBytes(const char* typed) {
  // The encrypters this system meets key their ciphers with the password's 1252 bytes; a
  // password handed over in UTF-8 is keyed the same way. Text that is not UTF-8 is taken as the
  // bytes it is.
  const size_t length = std::strlen(typed);
  if (!IsWellFormedUtf8(typed, length)) return Text(typed, length);
  Text bytes(typed, length);
  const size_t ansiLength = length ? Utf8ToAnsiInPlace(bytes.data(), length) : 0;
  return Text(bytes.c_str(), ansiLength);
}

PasswordCheck CheckPassword(ExtractionContext* context, const CentralHeader* entry) {
  if (!context->passwordsAllowed) {
    context->report.warning(kWarnSkippingEncrypted, context->nameBuffer);
    return PasswordCheck::kSkipped;
  }
  // The compressed size comes from the archive: one too small to hold the encryption header
  // would have the header read run into whatever follows the entry, and the data length
  // wrap around below zero.
  if (entry->compressedSize < static_cast<uint64_t>(kEncryptionHeaderSize)) {
    context->report.warning(kWarnUnexpectedSize, context->nameBuffer);
    return PasswordCheck::kSkipped;
  }

  context->decrypting = true;
  uint8_t saved[kEncryptionHeaderSize];
  if (!context->archive->readArchiveExact(saved, kEncryptionHeaderSize)) {
    return PasswordCheck::kSkipped;
  }

  char typed[kPasswordSize] = {};
  if (!context->passwordKnown) {
    // The password typed at an earlier run of the session, if any.
    context->callbacks->GetPassword(typed, kPasswordSize);
    context->password = Terminated(typed);
    context->passwordKnown = true;
  }

  const uint8_t check = CheckByte(entry);
  int prompts = 0;
  for (;;) {
    uint8_t header[kEncryptionHeaderSize];
    std::memcpy(header, saved, sizeof header);
    context->keys.init(context->password.c_str());
    context->keys.decrypt(header, kEncryptionHeaderSize);
    if (header[kEncryptionHeaderSize - 1] == check) {
      context->remainingInput = entry->compressedSize - kEncryptionHeaderSize;
      return PasswordCheck::kAccepted;
    }
    // The password typed at the last prompt has been tried too before the entry is given up.
    if (prompts == kMaxPasswordPrompts) break;

    std::memset(typed, 0, sizeof typed);
    context->callbacks->lastPasswordWrong = prompts > 0;
    int answer = context->callbacks->AskPassword(context->nameBuffer, typed, kPasswordSize);
    ++prompts;
    if (answer == kPasswordSkipAll) context->passwordsAllowed = false;
    if (answer != kPasswordEntered) {
      if (prompts < kMaxPasswordPrompts) {
        context->report.warning(kWarnSkippingEncrypted, context->nameBuffer);
        return PasswordCheck::kSkipped;
      }
      break;
    }
    context->password = Terminated(typed);
  }
  context->report.warning(kWarnWrongPassword, context->nameBuffer);
  return PasswordCheck::kSkipped;
}
