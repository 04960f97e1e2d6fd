// The directive state the stub reads: the option flags word that the main dialog starts from
// and writes back, the default destination, and the program-group and extension lists.
#pragma once

#include <cstdint>

// Bits of the flags word, which is also the main dialog's option state.
constexpr uint16_t kDirectiveRecreateDirectories = 0x0001;
constexpr uint16_t kDirectiveOverwriteAlways = 0x0004;
constexpr uint16_t kDirectiveOverwriteNever = 0x0008;
constexpr uint16_t kDirectiveShowMessages = 0x0010;
constexpr uint16_t kDirectiveCreateGroups = 0x0100;
constexpr uint16_t kDirectiveRegisterExtensions = 0x0400;

extern uint16_t gDirectiveFlags;

// Reads the directive record stored in the program file at programPath. The record reader is
// not part of the build yet: the defaults stand, which are exactly what a program file without
// a record gets (no flags, no default destination, no groups, no extensions).
void LoadSetupDirectives(const char* programPath);
// Turns the '|'-separated group and extension lists into name blocks.
void SplitDirectiveLists();

// Each is null when its field is empty.
const char* DefaultDestination();
const char* ProgramGroupText();
const char* ExtensionText();
// The extension list as the dialog shows it after "Registra&r Extensões:".
const char* ExtensionDisplayList();

// True when some entry name of the open archive contains '/'.
bool ArchiveHasDirectories();
