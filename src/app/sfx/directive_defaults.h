// The directive state the stub reads: the option flags word that the main dialog starts from
// and writes back, the default destination, and the program-group and extension lists.
#pragma once

#include <cstdint>

#include "app/directive_flags.h"

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

// The post-extraction actions over the directive lists, given the destination as
// DestinationForActions gives it (short form, ending with '\').
void CreateProgramGroups(const char* destination);
void RegisterExtensions(const char* destination);
