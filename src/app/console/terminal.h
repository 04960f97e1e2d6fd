// The terminal under vespa-console: texts go out in UTF-8, questions come in from a terminal.
#pragma once

#include <cstdio>
#include <string>

// Writes text (code page 1252) to out, converted to the terminal's encoding.
void TerminalWrite(std::FILE* out, const char* ansiText);
// True when standard input is a terminal that questions can be put to.
bool TerminalCanAsk();
// Reads one line (without its end) into buffer, in code page 1252; echo off for passwords.
// Returns false at end of input.
bool TerminalReadLine(char* buffer, int size, bool echo);
// A command-line argument in code page 1252 (Linux hands them over in UTF-8).
std::string TerminalArgument(const char* argument);
// Sets up the terminal once at start.
void TerminalInit();
