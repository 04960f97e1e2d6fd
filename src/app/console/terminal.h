// The terminal under vespa-console: texts go out in UTF-8, questions come in from a terminal.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Writes text (UTF-8) to out, as the terminal can show it.
void TerminalWrite(std::FILE* out, const char* text);
// Platform half of TerminalWrite: length bytes of UTF-8 to out.
void TerminalPut(std::FILE* out, const char* text, size_t length);
// True when standard input is a terminal that questions can be put to.
bool TerminalCanAsk();
// True when standard output is a terminal, where a person reads it as it comes.
bool TerminalShowsOutput();
// Reads one line (without its end) into buffer, in UTF-8; echo off for passwords.
// Returns false at end of input.
bool TerminalReadLine(char* buffer, int size, bool echo);
// Text the system hands over (typed lines) in UTF-8.
std::string TerminalArgument(const char* argument);
// The command line's arguments in UTF-8 (Windows: from its wide-character command line).
std::vector<std::string> TerminalArguments(int argc, char** argv);
// Sets up the terminal once at start.
void TerminalInit();

// Platform half of TerminalReadLine: runs read with the echo of typed characters switched off,
// and switches it back on. False, without running read, when the echo could not be switched off.
bool TerminalWithoutEcho(const std::function<void()>& read);
