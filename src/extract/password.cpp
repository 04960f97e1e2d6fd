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
void TakeTyped(ExtractionContext* context, const char* buffer) {
  SetPassword(context, Text(buffer, strnlen(buffer, kPasswordSize - 1)).c_str());
}

// The bytes before an entry's data that tell whether a password is right: the traditional
// cipher's 12-byte header, or the AES salt and verifier.
constexpr size_t kMaxCheckHeaderSize = kAesMaxSaltSize + kAesVerifierSize;
static_assert(kMaxCheckHeaderSize >= kEncryptionHeaderSize, "room for either header");

enum class Trial { kRight, kWrong, kPlatformFailed };

Trial TryPassword(ExtractionContext* context, const CentralHeader* entry, const uint8_t* saved) {
  if (context->aes.version != 0) {
    // The verifier is the last 2 bytes PBKDF2 gives after both keys: a wrong password shows
    // here, before a byte is deciphered (1 in 65,536 passes it and fails the code instead).
    const Text& typed = context->passwordUtf8;
    if (!DeriveAesKeys(typed.c_str(), typed.size(), saved, context->aes, &context->aesKeys)) {
      return Trial::kPlatformFailed;
    }
    return std::memcmp(context->aesKeys.verifier, saved + context->aes.saltSize(),
                       kAesVerifierSize) == 0
               ? Trial::kRight
               : Trial::kWrong;
  }
  uint8_t header[kEncryptionHeaderSize];
  std::memcpy(header, saved, sizeof header);
  context->keys.init(context->password.c_str());
  context->keys.decrypt(header, kEncryptionHeaderSize);
  return header[kEncryptionHeaderSize - 1] == CheckByte(entry) ? Trial::kRight : Trial::kWrong;
}

}  // namespace

void SetPassword(ExtractionContext* context, const char* typed) {
  context->password = PasswordBytes(typed);
  const size_t length = std::strlen(typed);
  if (IsWellFormedUtf8(typed, length)) {
    context->passwordUtf8 = Text(typed, length);
  } else {
    char utf8[3 * kPasswordSize];
    const size_t taken = length < kPasswordSize ? length : kPasswordSize - 1;
    context->passwordUtf8 = Text(utf8, AnsiToUtf8Into(typed, taken, utf8));
  }
  context->passwordKnown = true;
}

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
  // (and, for AES, the authentication code) would have the header read run into whatever
  // follows the entry, and the data length wrap around below zero.
  const bool aes = context->aes.version != 0;
  const size_t headerSize = aes ? context->aes.saltSize() + kAesVerifierSize : kEncryptionHeaderSize;
  const uint64_t smallest = aes ? context->aes.overhead() : kEncryptionHeaderSize;
  if (entry->compressedSize < smallest) {
    context->report.warning(kWarnUnexpectedSize, context->nameBuffer);
    return PasswordCheck::kSkipped;
  }

  if (!aes) context->decrypting = true;
  uint8_t saved[kMaxCheckHeaderSize];
  if (!context->archive->readArchiveExact(saved, static_cast<uint32_t>(headerSize))) {
    return PasswordCheck::kSkipped;
  }

  char typed[kPasswordSize] = {};
  if (!context->passwordKnown) {
    // The password typed at an earlier run of the session, if any.
    context->callbacks->GetPassword(typed, kPasswordSize);
    TakeTyped(context, typed);
  }

  int prompts = 0;
  for (;;) {
    const Trial trial = TryPassword(context, entry, saved);
    if (trial == Trial::kPlatformFailed) {
      context->report.warning(kWarnCryptoUnavailable, context->nameBuffer);
      return PasswordCheck::kSkipped;
    }
    if (trial == Trial::kRight) {
      context->remainingInput = entry->compressedSize - smallest;
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
    TakeTyped(context, typed);
  }
  context->report.warning(kWarnWrongPassword, context->nameBuffer);
  return PasswordCheck::kSkipped;
}
