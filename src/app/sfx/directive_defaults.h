// The directive state the stub reads: the option flags word that the main dialog starts from,
// the default destination, and the program-group and extension lists.
//
// NOT BUILT YET: the directive record reader. LoadSetupDirectives reads nothing and every
// program file gets the state of one that carries no record (no flags, no default destination,
// no groups, no extensions), so the group and extension check boxes stay disabled and the two
// post-extraction actions below are never offered.
#pragma once

#include <cstdint>

#include "shell/directive_flags.h"

class ArchiveState;

// The directive flags of the program file at programPath (0 until the reader is built).
uint16_t LoadSetupDirectives(const char* programPath);
// Turns the '|'-separated group and extension lists into name blocks.
void SplitDirectiveLists();

// Each is null when its field is empty.
const char* DefaultDestination();
const char* ProgramGroupText();
const char* ExtensionText();
// The extension list as the dialog shows it after "Registra&r Extensões:".
const char* ExtensionDisplayList();

// True when some entry name of the archive contains '/'.
bool ArchiveHasDirectories(const ArchiveState& archive);

// The post-extraction actions over the directive lists, given the destination as
// DestinationForActions gives it (short form, ending with '\'). Not built yet: they do nothing,
// and cannot be reached while the lists are empty.
void CreateProgramGroups(const char* destination);
void RegisterExtensions(const char* destination);
