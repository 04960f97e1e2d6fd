// The traditional ZIP encryption: a three-key stream cipher keyed by a password.
#pragma once

#include <cstdint>

struct ExtractionContext;
struct CentralHeader;

constexpr int kEncryptionHeaderSize = 12;
constexpr int kPasswordSize = 32;
constexpr int kMaxPasswordPrompts = 5;

void UpdateKeys(uint8_t byte);
void InitKeys(const char* password);
void DecryptBytes(uint8_t* bytes, uint32_t count);
void DecryptHeader(const char* password, uint8_t* header);

// Receives passwords typed by the user; lives as long as the program.
extern char storedPassword[kPasswordSize];

// 0 accepted: the key state stands after the 12-byte header. 1 skipped: a warning was reported.
int CheckPassword(ExtractionContext* context, const CentralHeader* entry);
