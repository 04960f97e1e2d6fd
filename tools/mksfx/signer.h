// Signing an archive for the stub's authenticity check: every entry protected, and one record
// naming the maker, sealed under a key that the protected entries' CRCs and dates make.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "authenticity/record.h"
#include "zip_scan.h"

struct Signature {
  std::string name;  // the maker's name, code page 1252; never empty
  uint32_t number = 0;  // the maker's number: the stub shows its code
  std::string text;  // additional text, code page 1252; may be empty
};

// An entry's extra field, the record's field header included, is at most this long.
constexpr size_t kMaxExtraFieldSize = 0xFFFF;
// The most that the maker's name, its NUL and the additional text may take together: the
// record's field in an extra field of its own, less the field header and the fixed block.
constexpr size_t kMaxSignatureBytes = kMaxExtraFieldSize - kRecordFieldHeaderSize - kRecordBlockSize;

// Refuses a name or text that can never fit a record, or that the record cannot hold (an
// empty name, a NUL inside).
bool CheckSignature(const Signature& signature, std::string* error);

// Protects every entry of zip's directory (internal-attribute bit 1, host MS-DOS in
// versionMadeBy), drops any authenticity record the archive carried, and adds one record for
// signature to the entry with the most room in its extra field; the directory size in the end
// record follows. The signed directory is checked as the stub will check it. On refusal returns
// false with the reason, and zip is unchanged.
bool SignDirectory(ScannedZip* zip, const Signature& signature, std::string* error);

// A command-line text in code page 1252 (Linux hands arguments over in UTF-8, Windows in the
// ANSI code page already); false when it holds a character that code page has no form for.
bool ArgumentToAnsi(const std::string& argument, std::string* ansi);

// --sign-number's text: decimal, or hex after 0x, at most 32 bits; the refusal names the option
// and what it takes.
bool ParseSignNumber(const std::string& digits, uint32_t* number, std::string* error);

// The signature the command line asks for: --sign NAME, --sign-number N (decimal, or hex after
// 0x; 0 when not given), --sign-text TEXT (its line ends made CR LF). Refuses a number past 32 bits, and what
// CheckSignature or ArgumentToAnsi refuses.
bool SignatureFromArguments(const std::string& name, const std::optional<std::string>& number,
                            const std::optional<std::string>& text, Signature* signature,
                            std::string* error);
