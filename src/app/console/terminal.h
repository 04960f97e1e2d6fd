// The terminal under vespa-console: texts go out in UTF-8, questions come in from a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// Writes text (code page 1252) to out, converted to the terminal's encoding.
void TerminalWrite(std::FILE* out, const char* ansiText);
// True when standard input is a terminal that questions can be put to.
bool TerminalCanAsk();
// True when standard output is a terminal, where a person reads it as it comes.
bool TerminalShowsOutput();
// Reads one line (without its end) into buffer, in code page 1252; echo off for passwords.
// Returns false at end of input.
bool TerminalReadLine(char* buffer, int size, bool echo);
// Text the system hands over (command-line arguments, typed lines) in code page 1252: Linux
// hands it over in UTF-8, Windows' "A" entries in the ANSI code page already.
std::string TerminalArgument(const char* argument);
// Sets up the terminal once at start.
void TerminalInit();

// Platform half of TerminalReadLine: runs read with the echo of typed characters switched off,
// and switches it back on. False, without running read, when the echo could not be switched off.
bool TerminalWithoutEcho(const std::function<void()>& read);
