// The program to run after an extraction (the run-after record), as the stub and vespa-console
// read it, and how its command becomes a program and a command line.
#pragma once

#include <cstdint>

#include "fs/fs.h"
#include "fs/text.h"
#include "shell/run_record.h"

class ArchiveState;

struct RunAfter {
  Text command;         // code page 1252; "%0" stands for the destination directory
  bool checked = false; // the dialog's box starts checked
  bool present() const { return !command.empty(); }
};

// Looks for the record in stream from its current position, at multiples of 12 bytes, over
// 300000 bytes; a copy that fails its CRC or is of a newer version is passed over. Without a
// valid record, run is left empty.
void FindRunAfter(FileStream& stream, RunAfter* run);
// The record of the program file at path.
void ReadRunAfter(const char* path, RunAfter* run);
// The record of the open archive's own stream, from its start; the stream's position is kept.
void ReadRunAfter(ArchiveState& archive, RunAfter* run);

// The command split into the program and its arguments, "%0" replaced by destination in each.
// The program is the first word: up to the closing '"' when it starts with one, otherwise up to
// the first blank (split before the replacement, so that blanks in the destination never split
// it). The command line is the program in quotes, then the arguments as written, the form in
// which a started program reads back the same words.
struct ProgramCommand {
  Text program;
  Text commandLine;
};
ProgramCommand SplitRunCommand(const char* command, const char* destination);
// True when program names a folder or a drive (it holds '\', '/' or ':'): it is then taken
// relative to the destination; a bare name is looked for in the destination and in the
// system's own folders only.
bool HasPath(const char* program);
